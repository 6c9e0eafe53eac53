// Writes a document-like text of about N bytes as the JSON input of marrowfen-entities:
// pages of identity-card, letter, invoice and address lines with names, dates, phone numbers and
// addresses, varied by a fixed pseudo-random sequence so every run gets the same text.
//
//   node bench/entities_text.mjs BYTES > input.json
const target = Number(process.argv[2] ?? 1 << 20);
let seed = 12345;
const next = () => (seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648;
const pick = (list) => list[Math.floor(next() * list.length)];
const num = (lo, hi) => lo + Math.floor(next() * (hi - lo + 1));
const pad = (n) => String(n).padStart(2, '0');

const first = ['Priya', 'Rahul', 'Anna', 'John', 'Maria', 'Jürgen', 'Fatima', 'Pierre', 'Sofía', 'Ravi', 'Emma', 'Kiran'];
const last = ['Sharma', 'Verma', 'Müller', 'Smith', 'Rossi', 'Dubois', 'Khan', 'García', 'Iyer', 'Brown', 'Novak'];
const orgs = ['Ministry of External Affairs', 'State Bank of India', 'Acme Ltd', 'Siemens AG', 'University of Pune', 'Income Tax Department'];
const cities = ['Mumbai', 'London', 'Berlin', 'Paris', 'Pune', 'Madrid', 'Chennai', 'Milano'];
const streets = ['221B Baker Street, London NW1 6XE', 'Hauptstraße 5\n10115 Berlin', '12 rue de la Paix, 75002 Paris',
  'Flat 12, MG Road\nBengaluru - 560001', '1600 Pennsylvania Avenue NW\nWashington, DC 20500'];
const months = ['January', 'March', 'June', 'September', 'Dezember', 'mars', 'mayo'];
const date = () => pick([
  () => `${pad(num(1, 28))}/${pad(num(1, 12))}/${num(1950, 2030)}`,
  () => `${num(1950, 2030)}-${pad(num(1, 12))}-${pad(num(1, 28))}`,
  () => `${num(1, 28)} ${pick(months)} ${num(1950, 2030)}`,
  () => `${pad(num(1, 28))}-${pick(['JAN', 'MAR', 'AUG', 'NOV'])}-${num(1950, 2030)}`,
])();
const phone = () => pick([
  () => `+91 ${num(70000, 99999)} ${num(10000, 99999)}`,
  () => `+44 20 ${num(7000, 7999)} ${num(1000, 9999)}`,
  () => `030 ${num(1000000, 9999999)}`,
  () => `(212) 555-${num(1000, 1999)}`,
])();
const person = () => `${pick(first)} ${pick(last)}`;
const prose = [
  'The applicant confirms that the information given above is true and complete.',
  'Please keep this document in a safe place and present it when asked.',
  'Payment is due within thirty days of the invoice date shown above.',
  'This certificate is issued on the basis of the records held by the office.',
];
const page = (n) => [
  `Page ${n}`,
  `Name: ${person()}`,
  `Father's Name: ${person().toUpperCase()}`,
  `Date of Birth: ${date()}   Place of Birth: ${pick(cities)}`,
  `Issued by: ${pick(orgs)}`,
  `Phone: ${phone()}`,
  `Address: ${pick(streets)}`,
  `PAN: ABCDE${num(1000, 9999)}F  Aadhaar: ${num(2000, 9999)} ${num(1000, 9999)} ${num(1000, 9999)}`,
  `Dear ${person()}, we met in ${pick(cities)} on ${date()} and agreed on the terms.`,
  pick(prose), pick(prose), pick(prose),
  `Invoice ${num(10000, 99999)} total ${num(10, 999)}.${pad(num(0, 99))} EUR, version 2.${num(1, 9)}.${num(1, 20)}, at ${num(8, 18)}:${pad(num(0, 59))}`,
  '',
].join('\n');

let text = '';
for (let n = 1; text.length < target; n++) text += page(n) + '\n';
process.stdout.write(JSON.stringify({ text: text.slice(0, target) }));
