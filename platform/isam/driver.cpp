// Driver lookup by the name written in an external-database clause.
#include "platform/isam/driver.h"

#include "platform/isam/access/access_driver.h"
#include "platform/isam/dbase/dbase_driver.h"
#include "platform/isam/excel12/excel12_driver.h"
#include "platform/isam/excel8/excel8_driver.h"
#include "platform/isam/text/text_driver.h"
#include "platform/jet/text.h"

namespace qx::isam {

void DriverRegistry::add(std::shared_ptr<Driver> driver) {
    drivers_.push_back(std::move(driver));
}

Driver* DriverRegistry::find(std::string_view clauseDriver) const {
    std::string wanted = jet::asciiLower(clauseDriver);
    for (const auto& d : drivers_)
        for (const auto& n : d->names())
            if (n == wanted) return d.get();
    return nullptr;
}

const DriverRegistry& builtinDrivers() {
    static const DriverRegistry registry = [] {
        DriverRegistry r;
        r.add(std::make_shared<dbase::DbaseDriver>());
        r.add(std::make_shared<access::AccessDriver>());
        r.add(std::make_shared<excel12::Excel12Driver>());
        r.add(std::make_shared<excel8::Excel8Driver>());
        r.add(std::make_shared<text::TextDriver>());
        return r;
    }();
    return registry;
}

}  // namespace qx::isam
