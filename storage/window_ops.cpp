// 窗体操作: loaded windows and the splitter drag rule.
#include "window_ops.h"

#include <algorithm>
#include <vector>

#include <QStringList>

#include "platform/numeric.h"

namespace {

struct FormEntry {
    int id;
    QString name;
    std::function<QString()> caption;
};

std::vector<FormEntry> &Forms()
{
    static std::vector<FormEntry> forms;
    return forms;
}

std::function<QStringList()> &TopLevelCaptions()
{
    static std::function<QStringList()> captions;
    return captions;
}

// A Tag part as a whole number of twips, kept within a range any window can have.
int TagPart(const QStringList &parts, int i)
{
    if (i >= parts.size())
        return 0;
    return static_cast<int>(std::clamp(LeadingNumber(parts[i]), -1e8, 1e8));
}

// The pixels between two rectangles, squared (0 when they meet).
long long GapSquared(const QRect &a, const QRect &b)
{
    const long long dx = std::max({0, b.left() - a.right(), a.left() - b.right()});
    const long long dy = std::max({0, b.top() - a.bottom(), a.top() - b.bottom()});
    return dx * dx + dy * dy;
}

// The screen nearest to the rectangle: the first it meets, else the one with the smallest gap.
const QRect &NearestScreen(const QRect &r, const std::vector<QRect> &screens)
{
    const QRect *nearest = &screens.front();
    for (const QRect &s : screens)
        if (GapSquared(r, s) < GapSquared(r, *nearest))
            nearest = &s;
    return *nearest;
}

// The rectangle moved inside the screen; its top-left corner wins when it is the larger.
QRect Inside(QRect r, const QRect &screen)
{
    r.moveLeft(std::max(screen.left(), std::min(r.left(), screen.left() + screen.width() - r.width())));
    r.moveTop(std::max(screen.top(), std::min(r.top(), screen.top() + screen.height() - r.height())));
    return r;
}

}  // namespace

QRect WindowPlace(const QRect &window, bool placed, const QRect &owner, const std::vector<QRect> &screens)
{
    if (screens.empty())
        return window;
    if (placed) {
        for (const QRect &s : screens)
            if (s.intersects(window))
                return window;
        return Inside(window, NearestScreen(window, screens));
    }
    QRect r = window;
    r.moveCenter(owner.isValid() ? owner.center() : screens.front().center());
    return Inside(r, NearestScreen(r, screens));
}

int RegisterForm(const QString &name, std::function<QString()> caption)
{
    static int nextId = 0;
    Forms().push_back({++nextId, name, std::move(caption)});
    return nextId;
}

void UnregisterForm(int id)
{
    auto &forms = Forms();
    std::erase_if(forms, [id](const FormEntry &e) { return e.id == id; });
}

QStringList LoadedFormNames()
{
    QStringList names;
    for (const auto &e : Forms())
        names << e.name;
    return names;
}

void SetTopLevelCaptions(std::function<QStringList()> captions)
{
    TopLevelCaptions() = std::move(captions);
}

bool IsFormOpen(const QString &caption, bool exact)
{
    auto matches = [&caption, exact](const QString &c) { return exact ? c == caption : c.startsWith(caption); };
    // A copy: reading a caption must not be disturbed by a window registering meanwhile.
    const std::vector<FormEntry> forms = Forms();
    for (const auto &e : forms)
        if (matches(e.caption ? e.caption() : QString()))
            return true;
    if (const auto &shown = TopLevelCaptions())
        for (const QString &c : shown())
            if (matches(c))
                return true;
    return false;
}

void DragSpBar(SpBarGeometry &bar, int x, int y)
{
    if (x == 0 && y == 0)
        return;
    const QStringList parts = bar.tag.split(u',');
    const int min = TagPart(parts, 0);
    const int max = TagPart(parts, 1);
    // The near limit first, then the far one, which wins when the container is too small for both.
    auto bounded = [min, max](int position, int barSize, int containerSize) {
        return std::min(std::max(position, min), containerSize - barSize - max);
    };
    if (bar.height > bar.width)
        bar.left = bounded(bar.left + x, bar.width, bar.containerWidth);
    else
        bar.top = bounded(bar.top + y, bar.height, bar.containerHeight);
}
