// Runs marrowfen-entities on receipts given as text (one `NAME.txt` per receipt, its printed lines,
// with `NAME.key.json` beside it holding the annotated "company", "date" and "address") and prints
// how often the program reports the seller as an organisation, the seller's address as a location
// and the date as a date, and how many other organisations it reports per receipt.
//
//   node tools/receipts/evaluate.mjs [--part dev|held-out|all] [--binary PATH] [--show] DIR...
//
// The receipts are split by seller, so that the same shop never falls into both halves: the
// sellers, in the order of their first receipt's file name, go alternately to the dev half (the
// first, third, ...) and to the held-out half. Tune on the dev half; only report the other.
//
// Matching is on words: a text's words are its runs of letters and digits, lower-cased.
// - seller: an organisation whose words match the annotated company's with an F1 of at least 0.8
//   (so "SDN. BHD." and "SDN BHD" agree, and a two-word name must be whole);
// - address: a location whose words match the annotated address's with an F1 of at least 0.75
//   (the annotated address may leave out a word the receipt prints, or the reverse);
// - date: a date whose letters and digits contain the annotated date's;
// - spurious organisations: organisations that share no word with the seller's name.
import { spawnSync } from "node:child_process";
import { existsSync, readdirSync, readFileSync } from "node:fs";
import { join } from "node:path";

const args = process.argv.slice(2);
let part = "all";
let binary = "build/release/entities/marrowfen-entities";
let show = false;
const dirs = [];
for (let i = 0; i < args.length; ++i) {
  if (args[i] === "--part") part = args[++i];
  else if (args[i] === "--binary") binary = args[++i];
  else if (args[i] === "--show") show = true;
  else dirs.push(args[i]);
}
if (!["dev", "held-out", "all"].includes(part) || dirs.length === 0) {
  console.error("usage: evaluate.mjs [--part dev|held-out|all] [--binary PATH] [--show] DIR...");
  process.exit(2);
}
if (!existsSync(binary)) {
  console.error(`no program at ${binary}: build it first`);
  process.exit(2);
}

const words = (s) => (s.toLowerCase().match(/[\p{L}\p{N}]+/gu) ?? []);
const squeeze = (s) => words(s).join("");

// F1 of two bags of words.
function wordF1(a, b) {
  const wa = words(a), wb = words(b);
  if (wa.length === 0 || wb.length === 0) return 0;
  const counts = new Map();
  for (const w of wb) counts.set(w, (counts.get(w) ?? 0) + 1);
  let common = 0;
  for (const w of wa) {
    const n = counts.get(w) ?? 0;
    if (n > 0) {
      ++common;
      counts.set(w, n - 1);
    }
  }
  if (common === 0) return 0;
  const p = common / wa.length, r = common / wb.length;
  return (2 * p * r) / (p + r);
}

// Every receipt with a key, with its seller group.
const receipts = [];
for (const dir of dirs) {
  for (const name of readdirSync(dir).sort()) {
    if (!name.endsWith(".key.json")) continue;
    const stem = name.slice(0, -".key.json".length);
    const textFile = join(dir, `${stem}.txt`);
    if (!existsSync(textFile)) continue;
    const key = JSON.parse(readFileSync(join(dir, name), "utf8"));
    receipts.push({ name: stem, text: readFileSync(textFile, "utf8"), key });
  }
}
receipts.sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
const groupOf = new Map();
for (const r of receipts) {
  const seller = squeeze(r.key.company ?? "");
  if (!groupOf.has(seller)) groupOf.set(seller, groupOf.size);
  r.half = groupOf.get(seller) % 2 === 0 ? "dev" : "held-out";
}
const chosen = receipts.filter((r) => part === "all" || r.half === part);

let seller = 0, address = 0, date = 0, spurious = 0, withDate = 0, withAddress = 0;
for (const r of chosen) {
  const run = spawnSync(binary, { input: JSON.stringify({ text: r.text }), encoding: "utf8" });
  if (run.status !== 0) {
    console.error(`${r.name}: marrowfen-entities failed (${run.status})`);
    process.exit(1);
  }
  const entities = JSON.parse(run.stdout).entities;
  const orgs = entities.filter((e) => e.type === "organization");
  const places = entities.filter((e) => e.type === "location");
  const dates = entities.filter((e) => e.type === "date");
  const company = r.key.company ?? "";
  const sellerFound = orgs.some((e) => wordF1(e.value, company) >= 0.8);
  const others = orgs.filter((e) => wordF1(e.value, company) === 0);
  let addressFound = false;
  if (r.key.address) {
    ++withAddress;
    addressFound = places.some((e) => wordF1(e.value, r.key.address) >= 0.75);
  }
  let dateFound = false;
  if (r.key.date) {
    ++withDate;
    const wanted = squeeze(r.key.date);
    dateFound = dates.some((e) => squeeze(e.value).includes(wanted));
  }
  seller += sellerFound;
  address += addressFound;
  date += dateFound;
  spurious += others.length;
  if (show) {
    const mark = (ok) => (ok ? "+" : "-");
    console.log(`${r.name} [${r.half}] seller${mark(sellerFound)} address${mark(addressFound)} date${mark(dateFound)}`);
    if (!sellerFound) console.log(`  seller: ${company}`);
    if (!addressFound && r.key.address) console.log(`  address: ${r.key.address}`);
    if (!dateFound && r.key.date) console.log(`  date: ${r.key.date}`);
    for (const e of orgs) console.log(`  org${wordF1(e.value, company) === 0 ? "*" : " "} ${e.value}`);
    for (const e of places) console.log(`  loc  ${e.value} (${e.metadata.detector ?? "tagger"})`);
    for (const e of dates) console.log(`  date ${e.value}`);
  }
}
const n = chosen.length;
const share = (k, of) => (of === 0 ? "-" : (k / of).toFixed(3));
console.log(
  `receipts ${part}: ${n}  seller as organisation ${share(seller, n)}  address ${share(address, withAddress)}` +
    `  date ${share(date, withDate)}  other organisations per receipt ${share(spurious, n)}`,
);
