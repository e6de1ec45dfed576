#include "settings/PictureList.h"

#include <algorithm>

namespace tamsel {

namespace {

// The index of a key named "file%d" (letter case ignored, as the profile
// functions compare names), or -1 for any other name.
int FileKeyIndex(const std::wstring& name)
{
    static constexpr wchar_t kPrefix[] = L"file";
    if (name.size() < 5 || name.size() > 14)
        return -1;
    for (size_t i = 0; i < 4; ++i) {
        wchar_t c = name[i];
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != kPrefix[i])
            return -1;
    }
    // Only the form "%d" makes: no sign, no leading zero.
    if (name[4] == L'0' && name.size() > 5)
        return -1;
    long long value = 0;
    for (size_t i = 4; i < name.size(); ++i) {
        if (name[i] < L'0' || name[i] > L'9')
            return -1;
        value = value * 10 + (name[i] - L'0');
        if (value > 0x7FFFFFFF)
            return -1;
    }
    return static_cast<int>(value);
}

} // namespace

std::wstring PicKey(int index)
{
    return L"file" + std::to_wstring(index);
}

PicListLoad LoadPictureList(const PicSection& stored, const PicKeyReader& readKey,
                            const PathExists& exists)
{
    PicListLoad out;
    out.list.CurPicIndex = stored.cur;
    if (stored.total == 0)
        return out;

    // The indexes to read: the first ones a save can write, then any further
    // key actually present below "Total". Every other index names a key that
    // is not there, so it counts as a missing picture without being read.
    std::vector<int> indexes;
    const int walked = std::clamp(stored.total, 0, kMaxStoredPics);
    for (int i = 0; i < walked; ++i)
        indexes.push_back(i);
    std::vector<int> beyond;
    for (const std::wstring& name : stored.keyNames) {
        const int i = FileKeyIndex(name);
        if (i >= kMaxStoredPics && i < stored.total)
            beyond.push_back(i);
    }
    std::sort(beyond.begin(), beyond.end());
    beyond.erase(std::unique(beyond.begin(), beyond.end()), beyond.end());
    indexes.insert(indexes.end(), beyond.begin(), beyond.end());
    if (stored.total > 0 && static_cast<size_t>(stored.total) > indexes.size())
        out.saveNeeded = true;

    for (const int i : indexes) {
        const std::wstring key = PicKey(i);
        std::wstring path = readKey(key);
        if (!path.empty() && exists(path)) {
            out.list.PicFiles.push_back(std::move(path));
        } else {
            out.removeKeys.push_back(key);
            out.saveNeeded = true;
        }
    }

    const size_t count = out.list.PicFiles.size();
    if (count == 0)
        out.list.CurPicIndex = 0;
    else if (static_cast<unsigned>(out.list.CurPicIndex) > count - 1)
        out.list.CurPicIndex = static_cast<int>(count - 1); // a negative "Cur" too
    return out;
}

std::vector<PicKeyWrite> PictureListWrites(const PictureList& list)
{
    const size_t count = list.PicFiles.size();
    const size_t kept = std::min(count, static_cast<size_t>(kMaxStoredPics));
    const size_t first = count - kept; // the oldest pictures drop out
    int cur = list.CurPicIndex;
    if (first > 0) {
        const long long shifted = static_cast<long long>(cur) - static_cast<long long>(first);
        cur = shifted >= 0 && shifted < static_cast<long long>(kept) ? static_cast<int>(shifted)
                                                                   : static_cast<int>(kept - 1);
    }

    std::vector<PicKeyWrite> writes;
    writes.push_back({L"Total", std::to_wstring(kept)});
    writes.push_back({L"Cur", std::to_wstring(cur)});
    for (int n = 0; n < kMaxStoredPics; ++n) {
        if (static_cast<size_t>(n) < kept)
            writes.push_back({PicKey(n), list.PicFiles[first + n]});
        else
            writes.push_back({PicKey(n), std::wstring(), true});
    }
    return writes;
}

void AppendPicture(PictureList& list, std::wstring path)
{
    list.PicFiles.push_back(std::move(path));
    list.CurPicIndex = static_cast<int>(list.PicFiles.size() - 1);
}

} // namespace tamsel
