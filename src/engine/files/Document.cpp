#include "Document.h"

#include "engine/util/Errors.h"

#include <optional>

namespace solvanta {

Document::Document(CodeTableFile codes)
    : codes_(std::move(codes)), checker_(std::make_unique<LineChecker>(codes_)) {
    table_.open();
}

LoadReport Document::load(const QString& path, FileForm form, Progress* progress,
                          const LoadOptions& options) {
    return loadWith(path, form, [&](RxMem& table) {
        return loadDeclaration(path, form, table, progress, options);
    });
}

LoadReport Document::loadWith(const QString& path, FileForm form,
                              const std::function<LoadReport(RxMem&)>& read, bool sheet) {
    LoadReport report = read(table_);
    path_ = path;
    form_ = form;
    sheet_ = sheet;
    return report;
}

void Document::write(const QString& path, FileForm form, Progress* progress) {
    // Writing walks every line; the line that was current stays current.
    struct KeepCurrent {
        RxMem& table;
        std::optional<RxMem::Bookmark> line =
            table.isEmpty() ? std::nullopt : std::optional(table.bookmark());
        ~KeepCurrent() {
            try {
                if (line) table.gotoBookmark(*line);
            } catch (const Error&) {
                // the line is gone: the cursor stays where the writer left it
            }
        }
    } keep{table_};
    writeDeclaration(path, form, table_, progress);
    table_.markSaved();
    path_ = path;
    form_ = form;
    sheet_ = false;
}

void Document::reloadCodeLists() {
    checker_ = std::make_unique<LineChecker>(codes_);
}

} // namespace solvanta
