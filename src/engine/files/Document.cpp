#include "Document.h"

namespace solvanta {

Document::Document(CodeTableFile codes)
    : codes_(std::move(codes)), checker_(std::make_unique<LineChecker>(codes_)) {
    table_.open();
}

LoadReport Document::load(const QString& path, FileForm form, Progress* progress,
                          const LoadOptions& options) {
    LoadReport report = loadDeclaration(path, form, table_, progress, options);
    path_ = path;
    form_ = form;
    return report;
}

void Document::write(const QString& path, FileForm form, Progress* progress) {
    writeDeclaration(path, form, table_, progress);
    table_.markSaved();
    path_ = path;
    form_ = form;
}

void Document::reloadCodeLists() {
    checker_ = std::make_unique<LineChecker>(codes_);
}

} // namespace solvanta
