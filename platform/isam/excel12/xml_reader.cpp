// Streaming XML through expat.
#include "platform/isam/excel12/xml_reader.h"

#include <cstring>

namespace qx::isam::excel12 {

std::string_view XmlReader::localName(const char* q) {
    std::string_view s(q);
    std::size_t colon = s.rfind(':');
    return colon == std::string_view::npos ? s : s.substr(colon + 1);
}

const char* XmlReader::attribute(Attributes attrs, std::string_view name) {
    for (int i = 0; attrs[i]; i += 2)
        if (localName(attrs[i]) == name) return attrs[i + 1];
    return nullptr;
}

XmlReader::XmlReader() : parser_(XML_ParserCreate("UTF-8")) {
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(
        parser_,
        [](void* self, const char* name, const char** attrs) {
            auto* r = static_cast<XmlReader*>(self);
            if (r->onStart) r->onStart(localName(name), attrs);
        },
        [](void* self, const char* name) {
            auto* r = static_cast<XmlReader*>(self);
            if (r->onEnd) r->onEnd(localName(name));
        });
    XML_SetCharacterDataHandler(parser_, [](void* self, const char* s, int len) {
        auto* r = static_cast<XmlReader*>(self);
        if (r->onText) r->onText(std::string_view(s, static_cast<std::size_t>(len)));
    });
    XML_SetStartDoctypeDeclHandler(parser_,
                                   [](void* self, const char*, const char*, const char*, int) {
                                       auto* r = static_cast<XmlReader*>(self);
                                       r->doctype_ = true;
                                       XML_StopParser(r->parser_, XML_FALSE);
                                   });
}

XmlReader::~XmlReader() {
    XML_ParserFree(parser_);
}

bool XmlReader::feed(const char* data, std::size_t size, bool last, std::string& error) {
    if (XML_Parse(parser_, data, static_cast<int>(size), last ? 1 : 0) == XML_STATUS_ERROR) {
        if (doctype_) {
            error = "工作簿中含有文档类型声明（DOCTYPE），拒绝读取";
        } else if (XML_GetErrorCode(parser_) == XML_ERROR_ABORTED) {
            return true;
        } else {
            error = std::string("工作簿已损坏：XML 格式错误（") +
                    XML_ErrorString(XML_GetErrorCode(parser_)) + "）";
        }
        return false;
    }
    return true;
}

}  // namespace qx::isam::excel12
