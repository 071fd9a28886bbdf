// A streaming XML reader for the parts of a workbook: elements by their local names, their
// attributes, and text with entities and line ends resolved as XML defines them. Document type
// declarations (and with them entity expansion) are refused; a document that is not well formed
// (tags that do not nest, an unknown entity, bytes that are no UTF-8, a truncated end) is an
// error. Written for the size of worksheets: text and attribute values are passed on from the
// input itself where they need no change.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qx::isam::excel12 {

class XmlReader {
  public:
    // Name, value, name, value, …, nullptr: as C strings.
    using Attributes = const char**;
    std::function<void(std::string_view name, Attributes attrs)> onStart;
    std::function<void(std::string_view name)> onEnd;
    // Text of an element, possibly in several pieces.
    std::function<void(std::string_view text)> onText;

    XmlReader() = default;
    XmlReader(const XmlReader&) = delete;
    XmlReader& operator=(const XmlReader&) = delete;

    // The next bytes of the document; `last` with the final ones. False with the reason when
    // the document is refused or not well formed.
    bool feed(const char* data, std::size_t size, bool last, std::string& error);

    // The value of an attribute by its local name, or nullptr.
    static const char* attribute(Attributes attrs, std::string_view localName);
    static std::string_view localName(std::string_view qualified);

  private:
    // Parses what `window` holds as far as it is complete; the bytes it took.
    std::size_t parse(std::string_view window, bool last);
    // What is at `at` of the window: consumed up to the returned position, or kMore when the
    // construct continues past the bytes there are, or kFailed.
    static constexpr std::size_t kMore = static_cast<std::size_t>(-1);
    static constexpr std::size_t kFailed = static_cast<std::size_t>(-2);
    std::size_t markup(std::size_t at, bool last);
    std::size_t startTag(std::size_t at);
    std::size_t endTag(std::size_t at);
    std::size_t text(std::size_t at, bool last);
    bool decode(std::string_view raw, bool attribute, std::string& out);
    bool fail(const char* why);

    std::string_view in_;              // what is being parsed: the bytes fed, or buffer_
    std::string buffer_;               // a construct the bytes before left unfinished
    std::string open_;                 // the names of the open elements, one after the other
    std::vector<std::size_t> starts_;  // where each open name begins in open_
    std::string attrBytes_;  // the current tag's attribute names and values, '\0' after each
    std::vector<const char*> attrs_;      // into attrBytes_: name, value, …, nullptr
    std::vector<std::size_t> attrSizes_;  // the sizes of the current tag's attribute names
    std::string scratch_;
    std::string error_;
    bool rootSeen_ = false, rootClosed_ = false, bomChecked_ = false;
};

}  // namespace qx::isam::excel12
