// node read.mjs FILE [TABLE]: the table names (no TABLE), or the columns and rows of TABLE as
// JSON lines: first {"columns": [{name, type, size}]}, then one array of values per row. Binary
// values as hex, dates as ISO text in UTC (Jet's serial dates carry no zone).
//
// mdb-reader turns a serial date into a time linearly; before 1899-12-30 Jet counts the day
// down and the time of day up (-1.25 is 1899-12-29 06:00), so such dates are put right here.
import { readFileSync } from "node:fs";
import MDBReader from "mdb-reader";

const EPOCH = Date.UTC(1899, 11, 30);
const DAY = 86400000;
function jetDate(d) {
    const serial = (d.getTime() - EPOCH) / DAY;
    if (serial >= 0) return d;
    const whole = Math.trunc(serial);
    return new Date(EPOCH + whole * DAY + Math.round(Math.abs(serial - whole) * DAY));
}

const [file, tableName] = process.argv.slice(2);
const reader = new MDBReader(readFileSync(file));
if (!tableName) {
    console.log(JSON.stringify(reader.getTableNames()));
} else {
    const table = reader.getTable(tableName);
    const columns = table.getColumns();
    console.log(JSON.stringify({ columns: columns.map((c) => ({ name: c.name, type: c.type, size: c.size })) }));
    for (const row of table.getData()) {
        console.log(JSON.stringify(columns.map((c) => {
            const v = row[c.name];
            if (v instanceof Date) return jetDate(v).toISOString();
            if (Buffer.isBuffer(v)) return v.toString("hex");
            return v;
        })));
    }
}
