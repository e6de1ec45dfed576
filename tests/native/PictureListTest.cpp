#include "settings/PictureList.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <stdexcept>

namespace tamsel {
namespace {

std::wstring Lower(std::wstring s)
{
    for (wchar_t& c : s)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return s;
}

// Section "Pic" as the profile file holds it, and the pictures on disk.
struct Stored {
    int total = 0;
    int cur = 0;
    std::map<std::wstring, std::wstring> keys; // "file%d" keys
    std::set<std::wstring> onDisk;
    size_t reads = 0;
    size_t readLimit = 100000;

    PicListLoad Load()
    {
        PicSection section{total, cur, {}};
        for (const auto& [key, value] : keys)
            section.keyNames.push_back(key);
        return LoadPictureList(
            section,
            [this](const std::wstring& key) {
                if (++reads > readLimit)
                    throw std::runtime_error("the load walks past every key a file can hold");
                // Key names compare without regard to case.
                for (const auto& [name, value] : keys)
                    if (Lower(name) == Lower(key))
                        return value;
                return std::wstring();
            },
            [this](const std::wstring& path) {
                EXPECT_FALSE(path.empty());
                return onDisk.count(path) > 0;
            });
    }
};

std::wstring Pic(int n)
{
    return L"C:\\Pics\\" + std::to_wstring(n) + L".jpg";
}

// Applies a save's writes to a stored section, as the profile functions do.
void Apply(Stored& s, const std::vector<PicKeyWrite>& writes)
{
    for (const PicKeyWrite& w : writes) {
        if (w.key == L"Total")
            s.total = std::stoi(w.value);
        else if (w.key == L"Cur")
            s.cur = std::stoi(w.value);
        else if (w.remove)
            s.keys.erase(w.key);
        else
            s.keys[w.key] = w.value;
    }
}

TEST(PictureListLoad, PrunesMissingPicturesAndBringsCurIntoTheList)
{
    struct Case {
        const char* what;
        int total, cur;
        std::vector<std::pair<int, bool>> keys; // index, file exists
        std::vector<int> listed;                // the pictures kept
        int curPicIndex;
        std::vector<std::wstring> removed;
        bool save;
    };
    const Case cases[] = {
        {"a deleted picture in the middle", 3, 0, {{0, true}, {1, false}, {2, true}}, {0, 2}, 0, {L"file1"}, true},
        {"keys missing below Total", 5, 0, {{0, true}}, {0}, 0, {L"file1", L"file2", L"file3", L"file4"}, true},
        {"Cur past the end", 2, 7, {{0, true}, {1, true}}, {0, 1}, 1, {}, false},
        {"negative Cur selects the last", 2, -1, {{0, true}, {1, true}}, {0, 1}, 1, {}, false},
        {"Total 0 keeps the stored Cur", 0, 4, {{0, true}}, {}, 4, {}, false},
        {"negative Total", -3, 2, {{0, true}}, {}, 0, {}, false},
        {"every picture gone", 2, 1, {{0, false}, {1, false}}, {}, 0, {L"file0", L"file1"}, true},
        {"keys at and past Total are not read", 1, 0, {{0, true}, {1, true}}, {0}, 0, {}, false},
    };
    for (const Case& c : cases) {
        Stored s;
        s.total = c.total;
        s.cur = c.cur;
        for (const auto& [i, exists] : c.keys) {
            s.keys[PicKey(i)] = Pic(i);
            if (exists)
                s.onDisk.insert(Pic(i));
        }
        const PicListLoad load = s.Load();
        std::vector<std::wstring> listed;
        for (int i : c.listed)
            listed.push_back(Pic(i));
        EXPECT_EQ(load.list.PicFiles, listed) << c.what;
        EXPECT_EQ(load.list.CurPicIndex, c.curPicIndex) << c.what;
        EXPECT_EQ(load.removeKeys, c.removed) << c.what;
        EXPECT_EQ(load.saveNeeded, c.save) << c.what;
    }
}

TEST(PictureListLoad, AnEmptyKeyIsAMissingPicture)
{
    Stored s;
    s.total = 2;
    s.keys[L"file0"] = L"";
    s.keys[L"file1"] = Pic(1);
    s.onDisk = {Pic(1)};
    const PicListLoad load = s.Load(); // the existence test never sees ""
    EXPECT_EQ(load.list.PicFiles, std::vector<std::wstring>{Pic(1)});
    EXPECT_EQ(load.removeKeys, std::vector<std::wstring>{L"file0"});
    EXPECT_TRUE(load.saveNeeded);
}

TEST(PictureListLoad, AHugeTotalWalksOnlyTheKeysThatCanBeThere)
{
    // The first 100 numbers a save writes, then only keys the section holds
    // (any letter case); a form "%d" never makes is not a picture key.
    Stored s;
    s.total = 2000000000;
    s.readLimit = 1000;
    for (int i : {0, 1, 2})
        s.keys[PicKey(i)] = Pic(i);
    s.keys[L"FILE150"] = Pic(150);
    s.keys[L"file0200"] = Pic(200);
    s.keys[L"file1999999999"] = Pic(1999999999);
    s.keys[L"file2000000000"] = Pic(2000000000); // at Total: not part of the list
    s.keys[L"file-5"] = Pic(5);
    for (int i : {0, 1, 2, 150, 200, 1999999999, 2000000000, 5})
        s.onDisk.insert(Pic(i));
    PicListLoad load;
    ASSERT_NO_THROW(load = s.Load());
    EXPECT_EQ(s.reads, 102u);
    EXPECT_EQ(load.list.PicFiles, (std::vector<std::wstring>{Pic(0), Pic(1), Pic(2), Pic(150), Pic(1999999999)}));
    EXPECT_EQ(load.removeKeys.size(), 97u); // file3 .. file99
    EXPECT_TRUE(load.saveNeeded);
}

TEST(PictureListLoad, KeysFromHundredOnAreReadByTheirNumber)
{
    // Beyond the first 100, a key is read when its number is below "Total";
    // a number too large for an index names no picture, however it wraps.
    struct Case {
        const char* what;
        int total;
        std::vector<std::wstring> keys; // besides file0 .. file99
        std::vector<std::wstring> listed; // the keys whose pictures follow file99
        size_t reads;
    };
    const Case cases[] = {
        {"file100 below Total 101", 101, {L"file100"}, {L"file100"}, 101},
        {"file100 below Total 150", 150, {L"file100", L"file149"}, {L"file100", L"file149"}, 102},
        {"file100 at Total 100", 100, {L"file100"}, {}, 100},
        {"2^32 + 100", 150, {L"file4294967396"}, {}, 100},
        {"2^31 + 100", 150, {L"file2147483748"}, {}, 100},
        {"2^64 + 100", 150, {L"file18446744073709551716"}, {}, 100},
        {"-2^32 + 100", 150, {L"file-4294967196"}, {}, 100},
    };
    for (const Case& c : cases) {
        Stored s;
        s.total = c.total;
        for (int i = 0; i < 100; ++i) {
            s.keys[PicKey(i)] = Pic(i);
            s.onDisk.insert(Pic(i));
        }
        for (const std::wstring& key : c.keys) {
            s.keys[key] = L"C:\\Pics\\" + key + L".jpg";
            s.onDisk.insert(s.keys[key]);
        }
        const PicListLoad load = s.Load();
        std::vector<std::wstring> listed;
        for (size_t i = 100; i < load.list.PicFiles.size(); ++i)
            listed.push_back(load.list.PicFiles[i]);
        std::vector<std::wstring> expected;
        for (const std::wstring& key : c.listed)
            expected.push_back(L"C:\\Pics\\" + key + L".jpg");
        EXPECT_EQ(listed, expected) << c.what;
        EXPECT_EQ(s.reads, c.reads) << c.what;
        EXPECT_TRUE(load.removeKeys.empty()) << c.what;
    }
}

TEST(PictureListLoad, TotalAboveTheStoredKeysAsksForASave)
{
    // A file saved with its real length of 120 and its first 100 paths.
    Stored s;
    s.total = 120;
    for (int i = 0; i < 100; ++i) {
        s.keys[PicKey(i)] = Pic(i);
        s.onDisk.insert(Pic(i));
    }
    const PicListLoad load = s.Load();
    EXPECT_EQ(s.reads, 100u);
    EXPECT_EQ(load.list.PicFiles.size(), 100u);
    EXPECT_TRUE(load.removeKeys.empty());
    EXPECT_TRUE(load.saveNeeded);
    Apply(s, PictureListWrites(load.list));
    EXPECT_EQ(s.total, 100);
}

TEST(PictureListSave, WritesTotalCurAndOneKeyPerPicture)
{
    PictureList list;
    list.PicFiles = {Pic(7), Pic(8)};
    list.CurPicIndex = 1;
    const std::vector<PicKeyWrite> writes = PictureListWrites(list);
    ASSERT_EQ(writes.size(), 102u);
    EXPECT_EQ(writes[0].key, L"Total");
    EXPECT_EQ(writes[0].value, L"2");
    EXPECT_EQ(writes[1].key, L"Cur");
    EXPECT_EQ(writes[1].value, L"1");
    EXPECT_EQ(writes[2].key, L"file0");
    EXPECT_EQ(writes[2].value, Pic(7));
    EXPECT_FALSE(writes[2].remove);
    EXPECT_EQ(writes[3].key, L"file1");
    EXPECT_EQ(writes[3].value, Pic(8));
    for (int n = 2; n < 100; ++n) {
        EXPECT_EQ(writes[2 + n].key, PicKey(n));
        EXPECT_TRUE(writes[2 + n].remove) << n;
    }
}

TEST(PictureListSave, KeepsTheNewestHundredAndTheCurrentPicture)
{
    struct Case {
        int cur;        // in the 120-entry list
        int storedCur;  // in the 100 saved
    };
    const Case cases[] = {
        {119, 99}, // the newest
        {57, 37},  // among the newest 100: still the same picture
        {20, 0},   // the oldest one kept
        {19, 99},  // dropped out: the newest becomes current
        {0, 99},
        {-1, 99},
        {500, 99},
    };
    for (const Case& c : cases) {
        PictureList list;
        for (int i = 0; i < 120; ++i)
            AppendPicture(list, Pic(i));
        ASSERT_EQ(list.CurPicIndex, 119);
        list.CurPicIndex = c.cur;

        Stored s;
        Apply(s, PictureListWrites(list));
        EXPECT_EQ(s.total, 100) << c.cur;
        EXPECT_EQ(s.cur, c.storedCur) << c.cur;
        ASSERT_EQ(s.keys.size(), 100u);
        EXPECT_EQ(s.keys[L"file0"], Pic(20));
        EXPECT_EQ(s.keys[L"file99"], Pic(119));

        // Loaded back: the same 100 pictures, no save asked for.
        for (int i = 20; i < 120; ++i)
            s.onDisk.insert(Pic(i));
        const PicListLoad load = s.Load();
        ASSERT_EQ(load.list.PicFiles.size(), 100u);
        EXPECT_EQ(load.list.PicFiles.front(), Pic(20));
        EXPECT_EQ(load.list.PicFiles[load.list.CurPicIndex], Pic(c.storedCur + 20));
        EXPECT_FALSE(load.saveNeeded);
    }
}

TEST(PictureListSave, ALoadedListSavesWithoutGaps)
{
    Stored s;
    s.total = 3;
    s.cur = 2;
    for (int i = 0; i < 3; ++i)
        s.keys[PicKey(i)] = Pic(i);
    s.onDisk = {Pic(0), Pic(2)};
    const PicListLoad load = s.Load();
    for (const std::wstring& key : load.removeKeys)
        s.keys.erase(key);
    Apply(s, PictureListWrites(load.list));
    EXPECT_EQ(s.total, 2);
    EXPECT_EQ(s.cur, 1);
    EXPECT_EQ(s.keys, (std::map<std::wstring, std::wstring>{{L"file0", Pic(0)}, {L"file1", Pic(2)}}));
}

} // namespace
} // namespace tamsel
