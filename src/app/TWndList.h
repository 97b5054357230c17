#pragma once
// Base of the main frame's lists of voxel and analysis windows: the windows in the
// order of adding, and the size of the next new window. The lists do not own the
// windows; a window removes itself when it is destroyed.
#include <list>

class CListedWindow;
class CMainFrame;

class TWndList {
public:
    using Iterator = std::list<CListedWindow*>::const_iterator;

    TWndList() = default;
    virtual ~TWndList();
    TWndList(const TWndList&) = delete;
    TWndList& operator=(const TWndList&) = delete;

    // Destroys every window and empties the list.
    void DestroyAll();
    bool IsEmpty() const { return m_windows.empty(); }
    int GetCount() const { return m_nCount; }
    void SetWindowSize(int width, int height);
    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }
    // Appends and returns the new count.
    int Add(CListedWindow* window);
    // Removes and returns the first window; null when empty.
    CListedWindow* PopFront();
    void Remove(CListedWindow* window);
    Iterator Begin() const { return m_windows.begin(); }
    Iterator End() const { return m_windows.end(); }
    void SetMDIParent(CMainFrame* frame) { m_pMDIParent = frame; }
    CMainFrame* GetMDIParent() const { return m_pMDIParent; }
    CListedWindow* GetFirst() const { return m_windows.empty() ? nullptr : m_windows.front(); }
    CListedWindow* GetLast() const { return m_windows.empty() ? nullptr : m_windows.back(); }
    void SetUnit(int unit) { m_nUnit = unit; }
    int GetUnit() const { return m_nUnit; }

protected:
    int m_nWidth = 700;   // size of the next new window, pixels
    int m_nHeight = 440;
    int m_nUnit = 0;      // x-axis unit handed to each new voxel window
    std::list<CListedWindow*> m_windows;
    int m_nCount = 0;
    CMainFrame* m_pMDIParent = nullptr;
};
