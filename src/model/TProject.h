#pragma once
// The open project. Only what a CSI set needs of its owning project is here so far.
class TProject {
public:
    virtual ~TProject() = default;
    void SetModified(bool modified) { m_bModified = modified; }
    bool IsModified() const { return m_bModified; }

private:
    bool m_bModified = false;
};
