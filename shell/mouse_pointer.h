#pragma once
// The main window's pointer values. The hourglass doubles as the busy sign:
// while it shows, rows cannot be removed or cleared and the hover feedback
// leaves the pointer alone.

namespace tabrivo::MousePointer {

inline constexpr int Default = 0;
inline constexpr int Hourglass = 11;
inline constexpr int Custom = 99;  // the hand cursor over the command buttons

}  // namespace tabrivo::MousePointer
