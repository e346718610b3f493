#include "sdk/xml_doc.h"

#include <libxml/parser.h>

#include <mutex>
#include <string_view>

namespace ocv::xml {

Doc ReadBounded(const char* xml, size_t size, size_t maxBytes, const char* name) {
    if (!xml || size == 0 || size > maxBytes) return nullptr;
    std::string_view text(xml, size);
    if (text.find("<!DOCTYPE") != std::string_view::npos || text.find("<!ENTITY") != std::string_view::npos) return nullptr;
    static std::once_flag init;
    std::call_once(init, [] { xmlInitParser(); });
    // No network, no DTD loading, no entity substitution; errors are not printed.
    return Doc(xmlReadMemory(xml, int(size), name, nullptr,
                             XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA));
}

std::string ElementText(const xmlNode* n, size_t maxBytes) {
    if (!n) return {};
    std::string out;
    for (const xmlNode* c = n->children; c; c = c->next) {
        if ((c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) && c->content) {
            out += reinterpret_cast<const char*>(c->content);
            if (out.size() > maxBytes) return {};
        }
    }
    size_t b = out.find_first_not_of(" \t\r\n"), e = out.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? std::string() : out.substr(b, e - b + 1);
}

}  // namespace ocv::xml
