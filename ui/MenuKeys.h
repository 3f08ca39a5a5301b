#pragma once

class QMainWindow;

// F10 takes the window's menu bar: its first entry is highlighted (a menu opens), Left and Right move
// along the bar, Return, Enter or Space run a plain entry, Escape or F10 give the focus back. Qt's menu
// bar does this only where the platform's style asks for it.
void openMenuOnF10(QMainWindow* window);
