// Linked into every test: the test stops before it runs when the locale the
// build asks for (SOLVANTA_TEST_LOCALE, also in LC_ALL) is not installed as a
// system locale. Qt would still follow the name in LC_ALL, but the C library
// would stay in "C", and faults that only show where printf and strtod write
// and read a decimal comma, as on the users' machines, would pass unseen.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace {

struct LocaleCheck {
    LocaleCheck() {
        const char* wanted = std::getenv("SOLVANTA_TEST_LOCALE");
        if (!wanted || !*wanted) return; // run by hand, outside CTest
        const char* all = std::getenv("LC_ALL");
        if (!all || std::strcmp(all, wanted) != 0) {
            std::fprintf(stderr, "LC_ALL is \"%s\", not the test locale \"%s\"\n", all ? all : "",
                         wanted);
            std::exit(1);
        }
        const locale_t l = newlocale(LC_ALL_MASK, wanted, locale_t(nullptr));
        if (!l) {
            std::fprintf(stderr,
                         "The locale \"%s\" is not installed as a system locale; generate it "
                         "(Debian: locales, locale-gen) or configure another with "
                         "-DSOLVANTA_TEST_LOCALE.\n",
                         wanted);
            std::exit(1);
        }
        freelocale(l);
    }
};

const LocaleCheck check;

} // namespace
