#include "CodeNames.h"

#include "engine/codes/CodeLists.h"
#include "engine/model/FieldTable.h"
#include "engine/model/FieldValues.h"
#include "engine/util/CodePage.h"
#include "engine/util/NumberText.h"
#include "engine/util/StrUtil.h"

namespace solvanta {

namespace {} // namespace

CodeNames::CodeNames(const CodeTableFile& file) {
    const std::span<const CodeListDef> defs = codeLists();
    const CodeTableFile::Reading reading = file.readChecked(codeListSections());
    problem_ = reading.problem;
    lists_.resize(defs.size());
    for (std::size_t i = 0; i < defs.size(); ++i) {
        List& l = lists_[i];
        l.letters = defs[i].letters;
        l.width = defs[i].width;
        QStringList entries = reading.lists[qsizetype(i)];
        l.read = !entries.isEmpty();
        if (l.read && defs[i].fixedEntry) entries << QString::fromUtf16(defs[i].fixedEntry);
        for (const QString& e : entries) {
            const QString name = e.mid(l.width).trimmed();
            if (l.letters) {
                if (!e.isEmpty() && !l.byLetter.contains(e[0].toUpper()))
                    l.byLetter.insert(e[0].toUpper(), name);
            } else if (const auto v = numtext::parseWhole(QStringView(e).left(l.width))) {
                if (!l.byNumber.contains(*v)) l.byNumber.insert(*v, name);
            }
        }
    }
}

CodeNames::Name CodeNames::nameOf(int field, std::string_view code) const {
    code = trimBlanks(code);
    const int list = codeListOfField(field);
    if (list < 0 || !lists_[std::size_t(list)].read) {
        // A field whose values the program knows by name.
        if (const FieldValues* values = valuesOf(field))
            for (const AllowedValue& v : values->allowed())
                if (v.caption && code == v.value)
                    return {Found::Named, QString::fromUtf16(v.caption)};
        return {};
    }
    const List& l = lists_[std::size_t(list)];
    if (l.letters) {
        if (code.size() == 1)
            if (const auto it = l.byLetter.constFind(cp1252::decode(code).at(0).toUpper());
                it != l.byLetter.cend())
                return {Found::Named, *it};
        return {Found::Missing, {}};
    }
    if (const auto v = numtext::parseWhole(code))
        if (const auto it = l.byNumber.constFind(*v); it != l.byNumber.cend())
            return {Found::Named, *it};
    return {Found::Missing, {}};
}

QString CodeNames::shownCode(int field, std::string_view code) const {
    code = trimBlanks(code);
    const QString text = cp1252::decode(code);
    const int list = codeListOfField(field);
    if (list < 0 || lists_[std::size_t(list)].letters) return text;
    const auto v = numtext::parseWhole(code);
    if (!v || *v < 0 || code.find_first_not_of("0123456789") != std::string_view::npos) return text;
    return QString::number(*v).rightJustified(lists_[std::size_t(list)].width, u'0');
}

} // namespace solvanta
