// The picture list: the pictures taken, oldest first, with a current position,
// kept in section "Pic" of "reserve.ini". No platform calls here: the
// profile-file adapter hands in what it read and carries out the writes.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tamsel {

inline constexpr wchar_t kPicSection[] = L"Pic";
// Keys "file0" to "file99": what one save can store.
constexpr int kMaxStoredPics = 100;
// Each path owns a buffer of 260 characters, terminator included.
constexpr size_t kPicPathChars = 260;

struct PictureList {
    std::vector<std::wstring> PicFiles; // full paths, oldest first
    int CurPicIndex = 0;
};

// "file%d".
std::wstring PicKey(int index);

// What the adapter read from section "Pic".
struct PicSection {
    int total = 0; // "Total", default 0
    int cur = 0;   // "Cur", default 0
    // Names of the keys the section holds. Only "file%d" keys at 100 or above
    // are looked at: a stored "Total" beyond what a save writes walks those,
    // never every number up to "Total".
    std::vector<std::wstring> keyNames;
};

// Text of one key, "" when missing (read with at most 259 characters).
using PicKeyReader = std::function<std::wstring(const std::wstring& key)>;
// Whether a file or a folder of that name exists.
using PathExists = std::function<bool(const std::wstring& path)>;

struct PicListLoad {
    PictureList list;
    // Keys of missing pictures, to be removed from the file at once.
    std::vector<std::wstring> removeKeys;
    // Entries were dropped: the list must be saved (UM_SAVE_SETTINGS).
    bool saveNeeded = false;
};

// Reads "file0" up to "file<Total-1>" (the first 100 of them, and beyond those
// only the keys the section holds), keeping the pictures that exist, then
// brings "Cur" into the list. "Total" 0 leaves the list empty and "Cur" as
// stored.
PicListLoad LoadPictureList(const PicSection& stored, const PicKeyReader& readKey,
                            const PathExists& exists);

// One profile write of a save, in order; `remove` deletes the key.
struct PicKeyWrite {
    std::wstring key;
    std::wstring value;
    bool remove = false;
};

// "Total", "Cur", then "file0".."file99": the newest 100 pictures, "Cur"
// following its picture (the newest when its picture is not among them).
std::vector<PicKeyWrite> PictureListWrites(const PictureList& list);

// After a snapshot: the new picture is the last entry and the current one.
void AppendPicture(PictureList& list, std::wstring path);

} // namespace tamsel
