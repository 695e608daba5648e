#include <cstddef>
#include <cstdint>

#include <QString>

#include "FRWProfileDocument.h"

namespace doc = FRWProfileDocument;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto nodes = doc::editableNodes(text);
    const auto groups = doc::editableGroups(text);
    const auto rules = doc::rules(text);
    doc::nodes(text);
    doc::linesInSection(text, u"[General]");

    // Writing the records back and reading them again loses none of them.
    QString rewritten = doc::replaceSection(text, u"[Rule]", doc::ruleLines(rules));
    if (doc::rules(rewritten).size() != rules.size()) {
        __builtin_trap();
    }
    rewritten = doc::replaceSection(rewritten, u"[Proxy]", doc::proxyLines(nodes));
    rewritten = doc::replaceSection(rewritten, u"[Proxy Group]", doc::groupLines(groups));
    if (doc::proxyLines(doc::editableNodes(rewritten)).size() > nodes.size() ||
        doc::linesInSection(rewritten, u"[Proxy]").size() < nodes.size()) {
        __builtin_trap();
    }
    return 0;
}
