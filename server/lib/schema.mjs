// Tool inputs: each tool declares its inputs as { name: { type, required?, description } }.
// Agents see them as a JSON-schema object; calls are checked against them before anything runs.
import { badRequest } from '../http/errors.mjs';

const CHECKS = {
  string: (v) => typeof v === 'string',
  integer: (v) => Number.isSafeInteger(v),
  number: (v) => typeof v === 'number' && Number.isFinite(v),
  boolean: (v) => typeof v === 'boolean',
  array: (v) => Array.isArray(v),
  object: (v) => v !== null && typeof v === 'object' && !Array.isArray(v),
};

export const INPUT_TYPES = Object.keys(CHECKS);

export function inputSchema(tool) {
  const properties = {};
  const required = [];
  for (const [name, field] of Object.entries(tool.input)) {
    properties[name] = { type: field.type, description: field.description ?? '' };
    if (field.required) required.push(name);
  }
  return { type: 'object', properties, required, additionalProperties: false };
}

// The input as an object ({} when absent); anything else is refused.
export function inputObject(input) {
  if (input === undefined || input === null) return {};
  if (!CHECKS.object(input)) throw badRequest('input must be a JSON object');
  return input;
}

export function validateInput(tool, rawInput) {
  const input = inputObject(rawInput);
  for (const name of Object.keys(input)) {
    if (!Object.hasOwn(tool.input, name)) throw badRequest(`input.${name} is not an input of ${tool.id}`);
  }
  for (const [name, field] of Object.entries(tool.input)) {
    const value = input[name];
    if (value === undefined || value === null) {
      if (field.required) throw badRequest(`input.${name} is required for ${tool.id}`);
      continue;
    }
    if (!CHECKS[field.type](value)) throw badRequest(`input.${name} must be of type ${field.type}`);
  }
  return input;
}
