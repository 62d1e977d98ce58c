// 窗体操作, window side: registering a window among the loaded windows, the captions of the shown
// top-level windows, keeping a window above all others, and the splitter bar that the user drags
// between two areas of a window.
#pragma once

#include <functional>
#include <vector>

#include <QFrame>
#include <QStringList>

class QLayout;
class QPushButton;
class QWidget;

// Registers the window among the loaded windows under `name` (its caption read live) and removes it
// when the window is destroyed. Call once from the window's constructor; the window should be
// destroyed on unload (for example with Qt::WA_DeleteOnClose) so that it stops counting as loaded.
void RegisterFormWidget(QWidget *window, const QString &name);

// Shows a window modeless, brought to the front and activated.
void ShowModeless(QWidget *window);

// The bottom of a small settings window: a sunken line and the buttons, right-aligned.
struct ButtonRow {
    QFrame *line = nullptr;
    std::vector<QPushButton *> buttons;
};
// Lays the window out at a fixed size: the body above the line and one button per caption (at least
// 90 pixels wide, the first the default); a click on button i calls onClick(i).
ButtonRow LayOutWithButtons(QWidget *window, QLayout *body, const QStringList &captions,
                            const std::function<void(int)> &onClick);

// Lets the caption search (IsFormOpen, WaitFormClosed) see every shown top-level window of the
// application, also those that never registered. The program calls it once at start-up.
void InstallTopLevelCaptions();

// Places each of the program's windows as it is shown (WindowPlace in storage/window_ops.h): a window
// without a place opens centred over the main window `mainWindow` returns (over the first screen
// while there is none), inside the screen; a window whose place lies off every screen comes back
// onto the nearest one. Left to the window system: the main window, windows with a parent (Qt puts a
// dialog over its window), pop-ups and tool tips. The program calls it once at start-up; an empty
// function removes it.
void InstallWindowPlaces(std::function<QWidget *()> mainWindow);

// Keeps the window above all other windows, position and size unchanged. A window already shown is
// shown again, because changing the flag hides it. Window systems may ignore the request.
void SetTopMost(QWidget *window);

// One drag step of a splitter bar with the mouse at (x, y) in the bar's own pixels: a bar higher
// than wide moves sideways, any other bar up and down, kept inside its parent by the limits of its
// "Tag" property ("min,max" in twips, 15 twips to the pixel). x and y both 0, or a bar without a
// parent, change nothing.
void MoveSpBar(QWidget *bar, int x, int y);

// A splitter bar: a thin raised strip inside a container. While the left button is held it follows
// the mouse through MoveSpBar (the press grabs the mouse until the release); the release emits
// released(), on which the window lays its other controls out again. Its "Tag" property holds the
// limits, empty by default.
class SpBarWidget : public QFrame {
    Q_OBJECT
public:
    explicit SpBarWidget(QWidget *parent = nullptr);

signals:
    void released();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};
