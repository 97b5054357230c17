#pragma once
// Switches the C locale to a German one (decimal comma) for the scope, as the GUI
// toolkit does for a user with German settings. scripts/deps generates de_DE.UTF-8.
#include <clocale>
#include <string>

namespace vx::test {

class TGermanLocale {
public:
    TGermanLocale()
    {
        const char* old = std::setlocale(LC_ALL, nullptr);
        m_old = old ? old : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"})
            if (std::setlocale(LC_ALL, name)) {
                m_ok = true;
                break;
            }
    }
    ~TGermanLocale() { std::setlocale(LC_ALL, m_old.c_str()); }
    TGermanLocale(const TGermanLocale&) = delete;
    TGermanLocale& operator=(const TGermanLocale&) = delete;
    bool ok() const { return m_ok; }

private:
    std::string m_old;
    bool m_ok = false;
};

}  // namespace vx::test
