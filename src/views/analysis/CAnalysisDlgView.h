#pragma once
// The control panel of the analysis window: slice stepping, the analysed range and
// orientation, the number of corrections, the project's analyses to choose from and the
// commands. The threshold last entered (whole percent) is kept for every analysis
// window until the program ends.
#include <QWidget>

class CAnalysisWnd;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TAnalysis;

class CAnalysisDlgView : public QWidget {
    Q_OBJECT
public:
    explicit CAnalysisDlgView(QWidget* parent = nullptr);

    void SetOwner(CAnalysisWnd* owner) { m_pOwner = owner; }
    // The texts, the buttons' states, the list of analyses and the threshold.
    void UpdatePanel();
    // The list shows the first of the project's analyses named as this one.
    void SelectAnalysis(const TAnalysis* analysis);
    int SelectedIndex() const { return m_nSelected; }

    // The last threshold entered, whole percent.
    static float LastThreshold();

    // The button handlers.
    void OnPCACorrection();
    void OnPrevSlice();
    void OnNextSlice();
    void OnSelectAnalysis(int index);

    QPushButton* m_btnCorrection = nullptr;
    QPushButton* m_btnPrev = nullptr;
    QPushButton* m_btnNext = nullptr;
    QPushButton* m_btnCreateMap = nullptr;
    QPushButton* m_btnUpdate = nullptr;
    QPushButton* m_btnInvert = nullptr;
    QPushButton* m_btnResidual = nullptr;
    QLabel* m_lblSlice = nullptr;
    QLabel* m_lblPeakStart = nullptr;
    QLabel* m_lblPeakEnd = nullptr;
    QLabel* m_lblOrientation = nullptr;
    QLabel* m_lblCorrections = nullptr;
    QComboBox* m_cmbAnalysis = nullptr;
    QLineEdit* m_editThreshold = nullptr;

private:
    CAnalysisWnd* m_pOwner = nullptr;
    int m_nSelected = 0;
    bool m_bFilling = false;  // the program fills the list: no selection of the user's
};
