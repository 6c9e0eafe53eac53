// marrowfen-entities as the host runs it: one JSON object on standard input, one JSON line back.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { entitiesBinary, run } from './helpers.mjs';

const refusal = '{"ok":false,"error":"empty_or_invalid_input"}\n';

function entities(input) {
  const result = run(entitiesBinary, [], { input });
  assert.equal(result.stderr, '');
  return result;
}

function answer(text, extra = {}) {
  const result = entities(JSON.stringify({ text, ...extra }));
  assert.equal(result.status, 0, result.stdout);
  assert.ok(result.json, `one JSON line: ${result.stdout}`);
  assert.equal(result.json.ok, true);
  assert.deepEqual(result.json.warnings, []);
  return result;
}

test('a document with a name, a date, a phone number and an address', () => {
  const text =
    'Name: Priya Sharma\nDate of Birth: 12/03/1990\nPhone: +91 98765 43210\n' +
    'Address: 221B Baker Street, London NW1 6XE';
  const { json, stdout } = answer(text);
  assert.equal(json.language, 'en');
  const find = (type, value) => json.entities.find((e) => e.type === type && e.value === value);
  assert.deepEqual(find('person', 'Priya Sharma'), {
    type: 'person',
    value: 'Priya Sharma',
    evidence: 'Name: Priya Sharma',
    confidence: 0.82,
    metadata: { nlTag: 'personalName' },
  });
  assert.deepEqual(find('date', '12/03/1990'), {
    type: 'date',
    value: '12/03/1990',
    evidence: 'Date of Birth: 12/03/1990',
    confidence: 0.84,
    metadata: { detector: 'NSDataDetector.date' },
  });
  assert.deepEqual(find('identifier', '+91 98765 43210'), {
    type: 'identifier',
    value: '+91 98765 43210',
    label: 'phone',
    suggestedRole: 'reference_number',
    evidence: 'Phone: +91 98765 43210',
    confidence: 0.72,
    metadata: { detector: 'NSDataDetector.phoneNumber' },
  });
  const address = find('location', '221B Baker Street, London NW1 6XE');
  assert.ok(address, stdout);
  assert.equal(address.evidence, 'Address: 221B Baker Street, London NW1 6XE');
  assert.deepEqual(address.metadata, { detector: 'NSDataDetector.address' });
  // Tagger candidates come first, then the detector's in text order.
  const types = json.entities.map((e) => e.metadata.nlTag ? 'tagger' : 'detector');
  assert.deepEqual(types, [...types].sort((a, b) => (a === b ? 0 : a === 'tagger' ? -1 : 1)));
  // The solidus is written plainly, and exactly one line feed ends the output.
  assert.ok(stdout.includes('"12/03/1990"'));
  assert.ok(stdout.endsWith('}\n') && !stdout.slice(0, -1).includes('\n'));
});

test('every refusal gives the same failure and status 1', () => {
  const cases = [
    '',
    ' \n',
    '{}',
    '[]',
    '"text"',
    'null',
    '{"text":null}',
    '{"text":42}',
    '{"text":["a"]}',
    '{"text":{"a":1}}',
    '{"text":""}',
    '{"text":" \\t\\n\\r\\u00a0 "}',
    '{"text":"a",}',
    '{"text":"a"} // comment',
    '/* c */ {"text":"a"}',
    "{'text':'a'}",
    '{"text":"a"',
    '{"text":"a"}{"text":"b"}',
    '{"text":"\\ud800"}',
    '{"text":"\\udc00x"}',
    '{"text":"a","n":01}',
    '{"text":"a","n":[' + '['.repeat(200000) + ']}',
  ];
  for (const input of cases) {
    const result = entities(input);
    assert.equal(result.stdout, refusal, JSON.stringify(input.slice(0, 60)));
    assert.equal(result.status, 1);
  }
  for (const bytes of [
    Buffer.from([0x7b, 0x22, 0x74, 0x65, 0x78, 0x74, 0x22, 0x3a, 0x22, 0xff, 0x22, 0x7d]),
    Buffer.from('{"text":"caf\xc3"}', 'latin1'),
    Buffer.from('{"text":"\xed\xa0\x80"}', 'latin1'),
  ]) {
    const result = entities(bytes);
    assert.equal(result.stdout, refusal);
    assert.equal(result.status, 1);
  }
});

test('deep nesting is read without a crash', () => {
  const depth = 1_000_000;
  const input = '{"text":"Anna","n":' + '['.repeat(depth) + ']'.repeat(depth) + '}';
  const result = entities(input);
  assert.equal(result.status, 0);
  assert.equal(result.json.ok, true);
});

test('extra keys are ignored and a one-character text is accepted', () => {
  const { json } = answer('x', { id: 7, tags: ['a', { b: null }], note: 'n' });
  assert.ok(Array.isArray(json.entities));
  assert.equal(json.entities.length, 0);
  assert.ok(!('language' in json));
});

test('candidates without label or role have exactly five keys', () => {
  const { json } = answer('Rahul Verma joined the State Bank of India in Mumbai on 1st March 2020.');
  assert.ok(json.entities.length >= 3, JSON.stringify(json));
  for (const e of json.entities) {
    if (e.label === undefined && e.suggestedRole === undefined) {
      assert.deepEqual(Object.keys(e).sort(), ['confidence', 'evidence', 'metadata', 'type', 'value']);
    }
    assert.equal(Object.keys(e.metadata).length, 1);
  }
  const values = json.entities.map((e) => `${e.type}:${e.value}`);
  for (const v of ['person:Rahul Verma', 'organization:State Bank of India', 'location:Mumbai', 'date:1st March 2020']) {
    assert.ok(values.includes(v), `${v} in ${values}`);
  }
});

test('a duplicate phone number and CR LF lines', () => {
  const { json } = answer('Tel: +49 30 1234567\r\nFax: +49 (30) 123-4567\r\nDatum: 12.03.2021');
  const phones = json.entities.filter((e) => e.type === 'identifier');
  assert.equal(phones.length, 1);
  assert.equal(phones[0].value, '+49 30 1234567');
  // CR LF does not end a line: the evidence is the whole text.
  for (const e of json.entities) assert.equal(e.evidence, 'Tel: +49 30 1234567 Fax: +49 (30) 123-4567 Datum: 12.03.2021');
});

test('an emoji before a date keeps the value exact', () => {
  const { json } = answer('\u{1F600}\u{1F44D}\u{1F3FD} born 12/03/1990 \u{1F600}');
  assert.deepEqual(json.entities.map((e) => e.value), ['12/03/1990']);
});

test('at most 80 candidates, and a large input is read whole', () => {
  const lines = [];
  for (let i = 0; i < 200; i++) lines.push(`Date ${i}: ${1 + (i % 28)}/0${1 + (i % 9)}/${1900 + i}`);
  const { json } = answer(lines.join('\n'));
  assert.equal(json.entities.length, 80);
  assert.equal(json.entities[0].value, '1/01/1900');
  const big = 'Lorem ipsum dolor sit amet. '.repeat(200000) + '\nBorn 12/03/1990';
  const result = answer(big);
  assert.ok(result.json.entities.some((e) => e.value === '12/03/1990'));
});
