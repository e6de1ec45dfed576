// What a part needs of the idle clock: telling it that the user just did
// something. The clock itself lives with the main window.
#pragma once

namespace tamsel {

class IActivitySink {
public:
    virtual void RestartIdleClock() noexcept = 0;

protected:
    ~IActivitySink() = default;
};

} // namespace tamsel
