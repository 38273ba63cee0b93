// The dashboard's own link check over the audit events it shows (the broker's self-check re-hashes
// the chain; this catches a list whose links do not join up, in whatever order it arrives).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { bySequence, chainLinkBreak } from '../dashboard/views.mjs';

const GENESIS = '0'.repeat(64);

function chain(length, firstSequence = 1) {
  const events = [];
  let previous = firstSequence === 1 ? GENESIS : `h${firstSequence - 1}`;
  for (let sequence = firstSequence; sequence < firstSequence + length; sequence += 1) {
    events.push({ sequence, previousHash: previous, hash: `h${sequence}` });
    previous = `h${sequence}`;
  }
  return events;
}

test('audit link check', () => {
  const cases = [
    { name: 'intact, oldest first', events: chain(4), broken: null },
    { name: 'intact, newest first', events: chain(4).reverse(), broken: null },
    { name: 'a window that starts mid-chain', events: chain(3, 40), broken: null },
    { name: 'empty', events: [], broken: null },
    { name: 'first event not on the genesis hash', events: chain(3).map((e) => (e.sequence === 1 ? { ...e, previousHash: 'x' } : e)), broken: 1 },
    { name: 'a link rewritten', events: chain(5).map((e) => (e.sequence === 4 ? { ...e, previousHash: 'forged' } : e)), broken: 4 },
    { name: 'an event removed', events: chain(5).filter((e) => e.sequence !== 3), broken: 4 },
    { name: 'an event replaced with its own hash', events: chain(5).map((e) => (e.sequence === 2 ? { ...e, hash: 'other' } : e)), broken: 3 },
  ];
  for (const { name, events, broken } of cases) {
    assert.equal(chainLinkBreak(bySequence(events))?.sequence ?? null, broken, name);
  }
});
