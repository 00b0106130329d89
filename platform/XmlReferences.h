#pragma once
// What the XML parser of the data packets lets through that XML does not
// allow, found before parsing: the parser keeps an entity reference it does
// not know (`a&bogus;b`, an entity a DOCTYPE declares, `&#;`, `&amp` without
// its `;`) as literal text, so a malformed packet would be stored as something
// its writer never meant. A packet is refused instead, with the reason and where.
#include <cstddef>
#include <string>
#include <string_view>

namespace trd {

struct XmlFault {
    std::size_t offset = 0;
    std::string what; // in Portuguese, for the message; empty when the text is sound
    explicit operator bool() const { return !what.empty(); }
};

// Checks every reference (`&name;`, `&#N;`, `&#xH;`: only the five entities
// XML predefines, and code points of Unicode other than U+0000 and the UTF-16
// surrogates) in text and attribute values; comments, CDATA sections,
// processing instructions and the DOCTYPE are stepped over. What else is
// malformed is left to the parser, and repeated attributes to the packet
// reader, which sees them parsed.
XmlFault firstXmlFault(std::string_view xml);

} // namespace trd
