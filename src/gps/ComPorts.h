// The COM ports present on the machine, from the device installation
// service, in the order it reports them.
#pragma once

#include <string>
#include <vector>

namespace tamsel {

// Appends the number of each present COM-port interface that has a friendly
// name and a description, in enumeration order (neither sorted nor
// de-duplicated; -1 for a name without "COM"). False when the service fails:
// `error` then holds the failure text ("SetupDiEnumDeviceInterfaces failed.
// (err=103)") and the list is emptied, since callers treat a failed
// discovery as no port at all.
bool EnumComPorts(std::vector<int>& ports, std::wstring* error = nullptr);

} // namespace tamsel
