#include "user_papers.h"

#include "page_common.h"

#include <algorithm>

namespace velmoui
{

namespace
{
WStringView NameOf(const WCHAR* name, size_t capacity)
{
    return WStringView(name, static_cast<size_t>(std::find(name, name + capacity, WCHAR{0}) - name));
}

WStringView NameOf(const velmo::UserPaper& p)
{
    return NameOf(p.name, std::size(p.name));
}

template <size_t N> void SetName(WCHAR (&to)[N], WStringView name)
{
    std::fill(std::begin(to), std::end(to), WCHAR{0});
    std::copy_n(name.begin(), std::min(name.size(), N - 1), to);
}

int FindPaper(const UserPaperWork& work, WStringView name)
{
    for (int i = 0; i < work.count; ++i)
        if (NameOf(work.papers[i]) == name)
            return i;
    return -1;
}

bool Inside(LONG v, LONG low, LONG high)
{
    return v >= low && v <= high;
}
} // namespace

void LoadUserPapers(UserPaperWork& work, const SettingsRecord& r, WStringView customName)
{
    work = UserPaperWork{};
    for (const velmo::UserPaper& p : r.userPapers)
    {
        if (!p.name[0])
            continue;
        velmo::UserPaper& to = work.papers[work.count];
        SetName(to.name, NameOf(p).substr(0, kUserPaperNameChars));
        to.width = p.width;
        to.height = p.height;
        work.originalIds[work.count++] = p.id;
    }
    SetName(work.customName, customName.substr(0, kUserPaperNameChars));
    work.customWidth = r.customWidth;
    work.customHeight = r.customHeight;
    work.minSize = {r.minPaperWidth, r.minPaperHeight};
    work.maxSize = {r.maxPaperWidth, r.maxPaperHeight};
}

WString ShowSize(LONG tenths, bool inches, WStringView decimal)
{
    return inches ? FormatDecimal((int64_t{tenths} * 100 + 127) / 254, 2, decimal)
                  : FormatDecimal(tenths, 1, decimal);
}

std::optional<int64_t> ReadSize(WStringView typed, bool inches)
{
    auto v = ParseDecimal(typed, inches ? 2 : 1);
    if (v && inches)
        *v = *v * 254 / 100;
    return v;
}

bool CanRegister(const UserPaperWork& work, WStringView name)
{
    if (name.empty())
        return false;
    return name == NameOf(work.customName, std::size(work.customName)) || FindPaper(work, name) >= 0 ||
           work.count < kUserPaperCount;
}

Registered RegisterPaper(UserPaperWork& work, WStringView name, LONG width, LONG height)
{
    if (name.empty())
        return {RegisterResult::Empty, -1};
    if (!Inside(width, work.minSize.width, work.maxSize.width))
        return {RegisterResult::WidthOutside, -1};
    if (!Inside(height, work.minSize.height, work.maxSize.height))
        return {RegisterResult::HeightOutside, -1};
    name = name.substr(0, kUserPaperNameChars);
    if (name == NameOf(work.customName, std::size(work.customName)))
    {
        work.customWidth = width;
        work.customHeight = height;
        return {RegisterResult::Custom, 0};
    }
    int at = FindPaper(work, name);
    RegisterResult result = RegisterResult::Updated;
    if (at < 0)
    {
        if (work.count == kUserPaperCount)
            return {RegisterResult::Full, -1};
        at = work.count++;
        SetName(work.papers[at].name, name);
        work.originalIds[at] = 0;
        result = RegisterResult::Added;
    }
    work.papers[at].width = width;
    work.papers[at].height = height;
    return {result, at + 1};
}

bool DeleteUserPaper(UserPaperWork& work, int index)
{
    if (index < 0 || index >= work.count)
        return false;
    std::copy(work.papers + index + 1, work.papers + work.count, work.papers + index);
    std::copy(work.originalIds + index + 1, work.originalIds + work.count, work.originalIds + index);
    --work.count;
    work.papers[work.count] = velmo::UserPaper{};
    work.originalIds[work.count] = 0;
    return true;
}

void StoreUserPapers(SettingsRecord& r, const UserPaperWork& work, bool inches)
{
    // Where each old id went; an id of a paper no longer there is left out.
    auto follow = [&](LONG id, LONG gone) {
        if (id < kFirstUserPaperId)
            return id;
        for (int i = 0; i < work.count; ++i)
            if (work.originalIds[i] == id)
                return kFirstUserPaperId + i;
        return gone;
    };
    r.paperId = follow(r.paperId, kPaperA4);
    r.outputSize = follow(r.outputSize, kOutputWithinMaximum);
    for (int i = 0; i < kUserPaperCount; ++i)
    {
        velmo::UserPaper& to = r.userPapers[i];
        to = velmo::UserPaper{};
        if (i < work.count)
        {
            to = work.papers[i];
            to.id = kFirstUserPaperId + i;
        }
    }
    r.customWidth = work.customWidth;
    r.customHeight = work.customHeight;
    r.userPaperFlag = inches ? 1 : 0;
}

void KeepPaperChoices(SettingsRecord& r)
{
    if (!IsOfferedPaper(r, r.paperId))
        r.paperId = kPaperA4;
    if (!IsOutputSize(r, r.outputSize))
        r.outputSize = kOutputWithinMaximum;
}

} // namespace velmoui
