// 窗体操作: the registry of the program's loaded windows, the caption search over it, the place a
// window opens at, and the rule by which a splitter bar follows the mouse. The window-side parts
// (keeping a window on top, the splitter bar itself) are in storage/forms/form_ops.h.
#pragma once

#include <functional>
#include <vector>

#include <QRect>
#include <QString>
#include <QStringList>

// Adds a window to the loaded windows: `name` is the window's name ("Indicator", "MF"), `caption`
// reads its current caption. A window registers when it is created and unregisters when it is
// destroyed, so "loaded" means created and not yet destroyed, shown or not. Returns the entry's id.
int RegisterForm(const QString &name, std::function<QString()> caption);
// Removes the entry; an unknown id does nothing.
void UnregisterForm(int id);
// The names of the loaded windows in the order they were loaded.
QStringList LoadedFormNames();

// The captions of the program's other windows: every top-level window that is shown, registered
// or not. The windowed program installs it (storage/forms/form_ops.h); without it only the
// registered windows count. An empty function removes it.
void SetTopLevelCaptions(std::function<QStringList()> captions);

// True when a loaded window has the caption: a registered window until it is destroyed, any other
// top-level window while it is shown. With exact, the whole caption equals the text; without it, the
// caption begins with the text. Case-sensitive; an empty text without exact matches any loaded
// window.
bool IsFormOpen(const QString &caption, bool exact = true);

// A splitter bar and its container in twips. The Tag holds "min,max": the bar keeps at least min
// from the near edge of the container and max plus its own thickness from the far edge; missing or
// unreadable parts count as 0.
struct SpBarGeometry {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int containerWidth = 0;
    int containerHeight = 0;
    QString tag;
};

// One drag step with the mouse at (x, y) in the bar's own coordinates (twips): a bar higher than
// wide moves sideways by x, any other bar up and down by y, bounded by the Tag's limits (the far
// limit wins when the container is too small for both). x and y both 0 change nothing.
void DragSpBar(SpBarGeometry &bar, int x, int y);

// Where a window opens, in screen pixels. `window` is its frame as it stands (its place and size);
// `placed` says whether it has a place already (it was shown before, or the program moved it).
// Without a place it is centred over `owner` (the main window's frame), or over the first screen when
// there is no owner, and kept inside the screen it lands on. A place that lies off every screen moves
// onto the nearest one; any other place stays. Inside a screen the top-left corner wins when the
// window is larger than the screen. No screens: the window as it stands.
QRect WindowPlace(const QRect &window, bool placed, const QRect &owner, const std::vector<QRect> &screens);
