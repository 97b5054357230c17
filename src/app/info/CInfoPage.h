#pragma once
// One page of the information sheet: a column of read-only fields, each a label and its
// value text. A page shown for nothing reads "Unavailable" in every field.
#include <QWidget>

#include <string>
#include <vector>

class QLabel;

class CInfoPage : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kUnavailable = "Unavailable";

    CInfoPage(const std::vector<const char*>& labels, QWidget* parent = nullptr);

    int FieldCount() const { return static_cast<int>(m_values.size()); }
    QString Label(int field) const;
    QString Value(int field) const;

protected:
    // One text per field, in field order; missing texts leave their fields empty.
    void SetTexts(const std::vector<std::string>& texts);
    void SetUnavailable();

    // The parts of a multi-value field joined by " x ".
    static std::string Joined(const std::vector<std::string>& parts);
    // Three values with a number of decimals, joined.
    static std::string Joined(const float values[3], int decimals);

private:
    std::vector<QLabel*> m_labels;
    std::vector<QLabel*> m_values;
};
