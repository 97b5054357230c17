#include "views/CVoxelWndDlgView.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>

#include "views/CVoxelWindow.h"

namespace {

// Base units of the form's 8-point font at 96 dots per inch: average character width
// and height in pixels.
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;

struct TUnitButton {
    const char* caption;
    int x, width;  // dialog units; each reaches to the next
};
constexpr TUnitButton kUnitButtons[4] = {{"Data", 315, 36}, {"Hz", 351, 31}, {"PPM", 382, 32}, {"Ms", 414, 34}};

}  // namespace

QRect CVoxelWndDlgView::DialogRect(int x, int y, int width, int height)
{
    const auto px = [](int units) { return units * kBaseUnitX / 4; };
    const auto py = [](int units) { return units * kBaseUnitY / 8; };
    return QRect(px(x), py(y), px(width), py(height));
}

CVoxelWndDlgView::CVoxelWndDlgView(QWidget* parent) : QWidget(parent)
{
    const QRect form = DialogRect(0, 0, kFormWidth, kFormHeight);
    setMinimumWidth(form.width());
    setFixedHeight(form.height());

    auto* units = new QGroupBox("Units", this);
    units->setGeometry(DialogRect(311, 103, 140, 29));
    m_units = new QButtonGroup(this);
    for (int k = 0; k < 4; ++k) {
        m_btnUnit[k] = new QRadioButton(kUnitButtons[k].caption, this);
        m_btnUnit[k]->setGeometry(DialogRect(kUnitButtons[k].x, 116, kUnitButtons[k].width, 10));
        m_units->addButton(m_btnUnit[k], k);
    }
    m_btnUnit[0]->setChecked(true);
    // Only the user's clicks reach the frame; CheckUnitButton stays silent.
    connect(m_units, &QButtonGroup::idClicked, this, [this](int unit) {
        if (m_pFrame)
            m_pFrame->OnUnitChanged(unit);
    });
}

void CVoxelWndDlgView::CheckUnitButton(int unit)
{
    m_units->setExclusive(false);
    for (int k = 0; k < 4; ++k)
        m_btnUnit[k]->setChecked(k == unit);
    m_units->setExclusive(true);
}

int CVoxelWndDlgView::CheckedUnit() const
{
    return m_units->checkedId();
}
