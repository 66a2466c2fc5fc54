#pragma once

#include <clocale>
#include <locale.h>

namespace solvanta {

// While alive, the C library's functions called on this thread (printf,
// strtod and the rest) work in the "C" locale, whatever the process's locale
// is; other threads are not affected. For libraries that write numbers with
// printf: where the user's locale writes a decimal comma (es_CL, installed
// as it is on the users' machines, which Qt's start-up makes the process's
// locale), a workbook would hold "21,84" where every reader expects "21.84".
class ClassicLocale {
public:
    ClassicLocale() : previous_(uselocale(classic())) {}
    ~ClassicLocale() { uselocale(previous_); }
    ClassicLocale(const ClassicLocale&) = delete;
    ClassicLocale& operator=(const ClassicLocale&) = delete;

private:
    static locale_t classic() {
        // Made once and kept for the life of the process.
        static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
        return c;
    }
    locale_t previous_;
};

} // namespace solvanta
