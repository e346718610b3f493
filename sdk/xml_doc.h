#pragma once
// Reading SOAP from devices and datagrams with libxml2, bounded: no network, no DTD, no entity
// expansion, and texts longer than a limit read as absent.
#include <libxml/tree.h>

#include <cstddef>
#include <memory>
#include <string>

namespace ocv::xml {

struct DocFree {
    void operator()(xmlDoc* d) const { xmlFreeDoc(d); }
};
using Doc = std::unique_ptr<xmlDoc, DocFree>;

// Null for an empty text, one over maxBytes, one declaring a DTD or entities, or malformed XML.
// `name` only labels the document inside libxml2.
Doc ReadBounded(const char* xml, size_t size, size_t maxBytes, const char* name);

// The element's text (its text and CDATA children only), trimmed; "" when absent or longer
// than maxBytes.
std::string ElementText(const xmlNode* n, size_t maxBytes);

}  // namespace ocv::xml
