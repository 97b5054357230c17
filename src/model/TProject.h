#pragma once
// The open project. Only what a CSI set needs of its owning project is here so far.
class TProject {
public:
    virtual ~TProject() = default;
    void SetModified(bool modified) { m_bModified = modified; }
    bool IsModified() const { return m_bModified; }

    // Version of the project file being loaded (the newest, 9, otherwise); nested
    // readers such as the data-set file take their layout from it.
    int m_nFileVersion = 9;

private:
    bool m_bModified = false;
};
