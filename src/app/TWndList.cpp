#include "app/TWndList.h"

#include <algorithm>

#include "app/CListedWindow.h"

TWndList::~TWndList()
{
    // Windows outlive a list only while the frame itself is being torn down; they
    // must then not reach back into it.
    for (CListedWindow* window : m_windows)
        window->DetachFromList();
}

void TWndList::DestroyAll()
{
    std::list<CListedWindow*> windows;
    windows.swap(m_windows);
    m_nCount = 0;
    for (CListedWindow* window : windows) {
        window->DetachFromList();
        delete window;
    }
}

void TWndList::SetWindowSize(int width, int height)
{
    m_nWidth = width;
    m_nHeight = height;
}

int TWndList::Add(CListedWindow* window)
{
    m_windows.push_back(window);
    return ++m_nCount;
}

CListedWindow* TWndList::PopFront()
{
    if (m_windows.empty())
        return nullptr;
    CListedWindow* window = m_windows.front();
    m_windows.pop_front();
    --m_nCount;
    return window;
}

void TWndList::Remove(CListedWindow* window)
{
    auto it = std::find(m_windows.begin(), m_windows.end(), window);
    if (it == m_windows.end())
        return;
    m_windows.erase(it);
    --m_nCount;
}
