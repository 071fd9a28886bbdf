// Events of an XML document as one list of texts, from expat and from our workbook XML reader,
// for comparing the two (the unit test and the fuzz target).
#pragma once

#include <expat.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/isam/excel12/xml_reader.h"

namespace qx::isam::excel12::xml_events {

// Events as one text: "S name a=v …", "E name", "T text" (adjacent text joined); "error" when
// the document is refused.
struct Events {
    std::vector<std::string> list;
    void text(std::string_view t) {
        if (!list.empty() && list.back().rfind("T ", 0) == 0)
            list.back().append(t);
        else
            list.push_back("T " + std::string(t));
    }
    void start(std::string_view name, const char** attrs) {
        std::string e = "S " + std::string(name);
        for (int i = 0; attrs[i]; i += 2) e += std::string(" ") + attrs[i] + "=" + attrs[i + 1];
        list.push_back(e);
    }
};

inline std::string_view local(const char* q) {
    std::string_view s(q);
    std::size_t colon = s.rfind(':');
    return colon == std::string_view::npos ? s : s.substr(colon + 1);
}

inline std::vector<std::string> withExpat(const std::string& xml) {
    Events ev;
    bool doctype = false;
    struct Context {
        Events* ev;
        bool* doctype;
        XML_Parser p;
    };
    XML_Parser p = XML_ParserCreate("UTF-8");
    Context c{&ev, &doctype, p};
    XML_SetUserData(p, &c);
    XML_SetElementHandler(
        p,
        [](void* u, const char* n, const char** a) {
            static_cast<Context*>(u)->ev->start(local(n), a);
        },
        [](void* u, const char* n) {
            static_cast<Context*>(u)->ev->list.push_back("E " + std::string(local(n)));
        });
    XML_SetCharacterDataHandler(p, [](void* u, const char* s, int len) {
        static_cast<Context*>(u)->ev->text(std::string_view(s, static_cast<std::size_t>(len)));
    });
    XML_SetStartDoctypeDeclHandler(p, [](void* u, const char*, const char*, const char*, int) {
        *static_cast<Context*>(u)->doctype = true;
        XML_StopParser(static_cast<Context*>(u)->p, XML_FALSE);
    });
    bool ok = XML_Parse(p, xml.data(), static_cast<int>(xml.size()), 1) != XML_STATUS_ERROR;
    XML_ParserFree(p);
    if (!ok || doctype) return {"error"};
    return ev.list;
}

inline std::vector<std::string> withOurs(const std::string& xml, std::size_t piece) {
    Events ev;
    XmlReader r;
    r.onStart = [&](std::string_view n, XmlReader::Attributes a) { ev.start(n, a); };
    r.onEnd = [&](std::string_view n) { ev.list.push_back("E " + std::string(n)); };
    r.onText = [&](std::string_view t) { ev.text(t); };
    std::string error;
    for (std::size_t at = 0;; at += piece) {
        bool last = at + piece >= xml.size();
        std::size_t n = last ? xml.size() - std::min(at, xml.size()) : piece;
        if (!r.feed(xml.data() + std::min(at, xml.size()), n, last, error)) return {"error"};
        if (last) break;
    }
    return ev.list;
}

}  // namespace qx::isam::excel12::xml_events
