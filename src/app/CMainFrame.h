#pragma once
// The main window: an MDI area for the image, voxel and analysis windows.
#include <QMainWindow>

class QMdiArea;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(QWidget* parent = nullptr);
    QMdiArea* MdiArea() const { return m_mdiArea; }

private:
    QMdiArea* m_mdiArea = nullptr;
};
