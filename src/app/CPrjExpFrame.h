#pragma once
// The project explorer window: a small MDI child whose one view is the explorer tree,
// titled with the project's name. The main frame makes it once; closing it only hides it.
#include "app/CExplorerFrameBase.h"

class CMainFrame;
class CPrjExpTree;

class CPrjExpFrame : public CExplorerFrameBase {
    Q_OBJECT
public:
    explicit CPrjExpFrame(CMainFrame* mainFrame);

    void ResetTree() override;
    void RefreshTree() override;
    void RemoveCSISetItem(TCSISet* pSet) override;

    CPrjExpTree* Tree() const { return m_pTree; }

private:
    CPrjExpTree* m_pTree;
};
