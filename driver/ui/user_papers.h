// The user paper sizes a user registers by name: the editing copy the dialog works on, the sizes in
// the unit shown, and the rules for registering, deleting and writing the papers back.
#pragma once

#include "ui_tables.h"

#include <optional>

namespace velmoui
{

using velmo::kUserPaperCount;

inline constexpr int kUserPaperNameChars = 39; // a name's characters without its terminator
inline constexpr int kSizeChars = 5;           // characters a width or height edit takes

// What the dialog edits: the user papers in list order (names set up to `count`), each with the id it
// had in the record (0 for one registered here), the custom row and the extents sizes must keep.
struct UserPaperWork
{
    velmo::UserPaper papers[kUserPaperCount];
    LONG originalIds[kUserPaperCount];
    int count;
    WCHAR customName[kUserPaperNameChars + 1];
    LONG customWidth; // 0.1 mm
    LONG customHeight;
    PaperSize minSize;
    PaperSize maxSize;
};

// The copy of a record's papers (the named ones, in slot order) and custom size; `customName` is the
// custom row's display name.
void LoadUserPapers(UserPaperWork& work, const SettingsRecord& r, WStringView customName);

// A size of 0.1 mm as shown: millimetres with one decimal, inches ((v·100+127)/254 hundredths) with two.
WString ShowSize(LONG tenths, bool inches, WStringView decimal);
// Typed text back to 0.1 mm (inches: hundredths·254/100); nothing when it holds no number.
std::optional<int64_t> ReadSize(WStringView typed, bool inches);

// Whether "등록" may register `name`: not empty, and the custom row's, a user paper's, or a slot free.
bool CanRegister(const UserPaperWork& work, WStringView name);

enum class RegisterResult
{
    Custom,        // the custom size was set
    Updated,       // the user paper of that name got the size
    Added,         // a new user paper took the first free slot
    Full,          // no slot free and no paper of that name: nothing changed
    WidthOutside,  // nothing changed
    HeightOutside, // nothing changed
    Empty,         // no name: nothing changed
};
struct Registered
{
    RegisterResult result;
    int row; // the list row of what was registered (0: the custom row), -1 when nothing was
};
Registered RegisterPaper(UserPaperWork& work, WStringView name, LONG width, LONG height);

// Removes the user paper at `index` and closes the gap; false for an index that holds none.
bool DeleteUserPaper(UserPaperWork& work, int index);

// Writes the papers back (ids 259 + slot, the slots after them cleared), the custom size and the unit.
// The document paper and the output size follow their paper: one deleted becomes A4 / 257, one moved
// takes its new id.
void StoreUserPapers(SettingsRecord& r, const UserPaperWork& work, bool inches);

// After the papers changed: a document paper the list no longer offers becomes A4, an output size
// outside the output list 257.
void KeepPaperChoices(SettingsRecord& r);

} // namespace velmoui
