// Checks a tool call's arguments against the schema the app was shown, with the broker's own
// input rules, so a misspelt or extra argument is refused with a clear message instead of being
// dropped or sent on.
import { validateInput } from '../lib/schema.mjs';

function allowedList(properties) {
  const names = Object.keys(properties);
  return names.length === 0 ? 'It takes no arguments.' : `It takes: ${names.join(', ')}.`;
}

// The problem with `args` for `toolName` in two sentences (what is wrong, what it takes); null
// when there is none.
export function argumentProblem(toolName, schema, args) {
  const properties = schema?.properties ?? {};
  const required = new Set(schema?.required ?? []);
  const input = Object.fromEntries(Object.entries(properties).map(([name, field]) => [name, { type: field.type, required: required.has(name) }]));
  try {
    validateInput({ id: toolName, input }, args);
    return null;
  } catch (error) {
    const sentence = error.message.replace(/^input\./, 'The argument ').replace(/^input /, 'The arguments ');
    return `${sentence}. ${allowedList(properties)}`;
  }
}
