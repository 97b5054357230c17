#include "app/info/CInfoPage.h"

#include <QGridLayout>
#include <QLabel>

#include "model/math/TextHelpers.h"

CInfoPage::CInfoPage(const std::vector<const char*>& labels, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QGridLayout(this);
    for (const char* text : labels) {
        const int row = static_cast<int>(m_values.size());
        auto* label = new QLabel(text);
        auto* value = new QLabel;
        value->setFrameShape(QFrame::Panel);
        value->setFrameShadow(QFrame::Sunken);
        value->setMinimumWidth(180);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(label, row, 0);
        layout->addWidget(value, row, 1);
        m_labels.push_back(label);
        m_values.push_back(value);
    }
    layout->setRowStretch(static_cast<int>(m_values.size()), 1);
}

QString CInfoPage::Label(int field) const
{
    return field >= 0 && field < FieldCount() ? m_labels[size_t(field)]->text() : QString();
}

QString CInfoPage::Value(int field) const
{
    return field >= 0 && field < FieldCount() ? m_values[size_t(field)]->text() : QString();
}

void CInfoPage::SetTexts(const std::vector<std::string>& texts)
{
    for (size_t k = 0; k < m_values.size(); ++k)
        m_values[k]->setText(k < texts.size() ? QString::fromStdString(texts[k]) : QString());
}

void CInfoPage::SetUnavailable()
{
    for (QLabel* value : m_values)
        value->setText(kUnavailable);
}

std::string CInfoPage::Joined(const std::vector<std::string>& parts)
{
    std::string text;
    for (size_t k = 0; k < parts.size(); ++k)
        text += (k ? " x " : "") + parts[k];
    return text;
}

std::string CInfoPage::Joined(const float values[3], int decimals)
{
    return Joined({FloatToString(values[0], decimals), FloatToString(values[1], decimals),
                   FloatToString(values[2], decimals)});
}
