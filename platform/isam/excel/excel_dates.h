// How workbooks store dates: number formats that show a date or a time, and the serials of the
// 1900 and 1904 date systems as Jet's day serials (days since 1899-12-30).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qx::isam::excel {

// The built-in date and time formats (the Far-East ones included) and codes with date or time
// letters outside quotes and brackets; a code the workbook gives decides for its number.
bool isDateFormat(int id, const std::string& code);

// A workbook's date serial as Jet's. The 1900 system counts 1900-01-01 as 1 and has a 29th of
// February 1900 (serial 60), which never was: serials below 60 are one day later in Jet, the
// phantom day is taken for the 1st of March; values below 1 are times of day, as in Jet.
double jetSerial(double workbookSerial, bool date1904);

// A date, a date and time or a time of day written in ISO 8601, as cells of type "d" hold them
// ("2021-03-15", "2021-03-15T10:20:30.5Z", "10:20"), as Jet's serial: the clock time as written,
// whatever zone follows it. Nothing for any other text.
std::optional<double> isoDateSerial(std::string_view text);

}  // namespace qx::isam::excel
