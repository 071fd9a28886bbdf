// A streaming XML reader over expat with local element names, refusing document type
// declarations (and with them entity expansion).
#pragma once

#include <expat.h>

#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace qx::isam::excel12 {

class XmlReader {
  public:
    using Attributes = const char**;
    std::function<void(std::string_view name, Attributes attrs)> onStart;
    std::function<void(std::string_view name)> onEnd;
    std::function<void(std::string_view text)> onText;

    XmlReader();
    ~XmlReader();
    XmlReader(const XmlReader&) = delete;
    XmlReader& operator=(const XmlReader&) = delete;

    bool feed(const char* data, std::size_t size, bool last, std::string& error);
    void stop() { XML_StopParser(parser_, XML_TRUE); }

    // The value of an attribute by its local name, or nullptr.
    static const char* attribute(Attributes attrs, std::string_view localName);
    static std::string_view localName(const char* qualified);

  private:
    XML_Parser parser_;
    bool doctype_ = false;
};

}  // namespace qx::isam::excel12
