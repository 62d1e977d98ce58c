// CapStructure: the window "资产构成". A slider picks a day from the first buy to today; the picture
// below shows the pie of that day's holdings and cash, redrawn as the slider moves (also while its
// thumb is dragged). One window exists at a time; closing it destroys it, so the next use loads a
// new one on today.
#pragma once

#include <array>
#include <vector>

#include <QWidget>

#include "charts/cap_structure.h"
#include "platform/forms/picture_box.h"

class QLabel;
class QSlider;

class CapStructureForm : public QWidget {
    Q_OBJECT
public:
    // Builds the controls: Label1 "日期：", the date label LBL(0), the slider Sld and the picture Pic
    // (black, text in white). The slider's handler stays shut until Form_Load.
    CapStructureForm();
    ~CapStructureForm() override;

    QLabel *Label1 = nullptr;
    std::array<QLabel *, 1> LBL{};
    // Its value is the day offset from the first date, kept as "YYYY-MM-DD" in its "Tag" property.
    QSlider *Sld = nullptr;
    PictureBox *Pic = nullptr;

    // Sets the slider's range (CalDateRange), opens the slider's handler and moves the slider to its
    // maximum, which selects and draws today.
    void Form_Load();
    // The slider reaches from its left to the right edge, the picture fills the window below its top;
    // then the slider's handler redraws.
    void Form_Resize();
    // Once the handler is open: LBL(0) shows the chosen date, whose slices are read and drawn on Pic.
    // Nothing before Form_Load.
    void Sld_Change();
    // The slices of the day last drawn.
    const std::vector<CapSlice> &Cap() const { return m_cap; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    bool m_gate = false;
    std::vector<CapSlice> m_cap;
};

// The slider's range: today from the program's clock; first the date of the earliest buy in the
// book, or ten days before today when the book is empty (or cannot be read, logged). The range is
// 0..(today − first) days, at least 0..1, and the slider's "Tag" receives first as "YYYY-MM-DD".
// first and today are day numbers without a time part.
void CalDateRange(QSlider *sld, double &first, double &today);

// The window, loaded (Form_Load run) on first use; LoadedCapStructure gives nullptr while it is not.
CapStructureForm *CapStructure();
CapStructureForm *LoadedCapStructure();
// Shows the window, loaded on first use, above the others and active.
void ShowCapStructure();
