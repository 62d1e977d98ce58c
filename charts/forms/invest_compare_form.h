// InvestCompare: the window "炒股资产变化比较图". Its picture shows the asset, index and position
// curves of the visible days; the arrow keys move and zoom them, the mouse moves a crosshair with a
// read-out and a press switches it off or on. The menu shows the closed-trade list over the picture
// and exports it. One window exists at a time; closing it destroys it, so the next use loads the
// book anew.
#pragma once

#include <array>
#include <memory>

#include <QMainWindow>

#include "charts/invest_compare.h"
#include "platform/forms/flex_grid_view.h"
#include "platform/forms/overlay_controls.h"
#include "platform/forms/picture_box.h"

class QAction;
class QFrame;
class QLabel;

class InvestCompareForm : public QMainWindow {
    Q_OBJECT
public:
    // Builds the menu ("交易列表", "表格导出"), the picture Pic (black, text in white) taking the keys,
    // the hidden grid MSF over it, the read-out L ("日期：") and the crosshair LL(0) (horizontal) and
    // LL(1) (vertical). Nothing is read before Form_Load.
    InvestCompareForm();
    ~InvestCompareForm() override;

    QAction *mAccList = nullptr;
    QAction *mOutputMSF = nullptr;
    PictureBox *Pic = nullptr;
    FlexGridView *MSF = nullptr;
    QLabel *L = nullptr;
    std::array<QFrame *, 2> LLFrame{};
    std::array<std::unique_ptr<LineOverlay>, 2> LL;
    std::unique_ptr<LabelOverlay> LControl;

    // The chart's data and visible range.
    const InvestCompareState &State() const { return m_state; }

    // Switches the crosshair on, loads the book and draws; from then on resizing redraws.
    void Form_Load();
    // Unless minimised: Pic and MSF fill the window below the menu, the crosshair lines span the
    // picture, and once loaded the chart is redrawn.
    void Form_Resize();
    // Shows the closed-trade list, freshly read, or hides it when it is shown.
    void mAccList_Click();
    // Exports the closed-trade list under the title "Kelvaro股票市值表"; before the list was first
    // shown there is none: "表格中没有数据！".
    void mOutputMSF_Click();
    // An arrow key moves or zooms the visible days and redraws (MoveVisibleRange).
    void Pic_KeyDown(int keyCode, int shift);
    // Any button switches the crosshair off or on; lines and read-out stay where they are.
    void Pic_MouseDown(int button, int shift, double x, double y);
    // While the crosshair is on: the lines move to (x, y) and L reads out the day under x.
    void Pic_MouseMove(int button, int shift, double x, double y);

protected:
    // The client area below the menu resized: Form_Resize.
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    InvestCompareState m_state;
    QWidget *m_client = nullptr;
    bool m_loaded = false;
    // The closed-trade list has been filled (it stays filled while hidden).
    bool m_listFilled = false;
};

// The window, loaded (Form_Load run) on first use; LoadedInvestCompare gives nullptr while none is.
InvestCompareForm *InvestCompare();
InvestCompareForm *LoadedInvestCompare();
// Shows the window, loaded on first use, above the others and active.
void ShowInvestCompare();
