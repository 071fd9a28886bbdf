// Writes agile_default.xlsx: openpyxl_客户.xlsx encrypted with the default password by the npm
// package officecrypto-tool (agile encryption: AES-256, SHA-512), an encryptor written apart
// from ours. Run where the package is installed: NODE_PATH=DIR/node_modules node make_agile.js
const fs = require('fs');
const path = require('path');
const officeCrypto = require('officecrypto-tool');

const here = __dirname;
const input = fs.readFileSync(path.join(here, 'openpyxl_客户.xlsx'));
fs.writeFileSync(path.join(here, 'agile_default.xlsx'),
                 officeCrypto.encrypt(input, {password: 'VelvetSweatshop'}));
