// node peer.mjs count T1.csv OUT.csv | absent T1.csv T2.csv OUT.csv: the benchmark's peer for the
// merge with count and for table two's rows whose key table one lacks, read from the csv files
// gen_tables.py writes (no header; key, name, amount) and written as csv with a header line. Keys
// compare without regard to case, as ours do.
import { DuckDBInstance } from "@duckdb/node-api";

const [op, ...files] = process.argv.slice(2);
const quote = (s) => "'" + s.replaceAll("'", "''") + "'";
const table = (file) =>
    `read_csv(${quote(file)}, header = false, ` +
    `columns = {'F1': 'VARCHAR', 'F2': 'VARCHAR', 'F3': 'VARCHAR'})`;

let query;
if (op === "count" && files.length === 2) {
    query = `SELECT min(F1) AS F1, count(*) AS 笔数 FROM ${table(files[0])} GROUP BY lower(F1)`;
} else if (op === "absent" && files.length === 3) {
    query = `SELECT b.F1, b.F2, b.F3 FROM ${table(files[1])} b WHERE NOT EXISTS ` +
        `(SELECT 1 FROM ${table(files[0])} a WHERE lower(a.F1) = lower(b.F1))`;
} else {
    console.error("usage: node peer.mjs count T1.csv OUT.csv | absent T1.csv T2.csv OUT.csv");
    process.exit(2);
}
const instance = await DuckDBInstance.create(":memory:");
const connection = await instance.connect();
await connection.run(`COPY (${query}) TO ${quote(files[files.length - 1])} (HEADER, DELIMITER ',')`);
connection.closeSync();
instance.closeSync();
