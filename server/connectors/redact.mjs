// The forms in which a provider's answer can carry a credential back (an error text quoting the
// request, a Location header with the query, a JSON echo, a base64 dump) and their removal.
export const REDACTED = '[redacted]';
const MIN_BASE64_CORE = 8;

// The part of base64(x) that is the same wherever `bytes` sits in x at an offset ≡ shift (mod 3).
function base64Core(bytes, shift) {
  const encoded = Buffer.concat([Buffer.alloc(shift), bytes]).toString('base64');
  return encoded.slice(Math.ceil((shift * 8) / 6), Math.floor(((shift + bytes.length) * 8) / 6));
}

export function credentialForms(token) {
  if (!token) return [];
  const percent = encodeURIComponent(token);
  const json = JSON.stringify(token).slice(1, -1);
  const bytes = Buffer.from(token, 'utf8');
  const base64 = [0, 1, 2].map((shift) => base64Core(bytes, shift)).filter((core) => core.length >= MIN_BASE64_CORE);
  const forms = [
    token,
    percent,
    percent.replace(/%[0-9A-F]{2}/g, (escape) => escape.toLowerCase()),
    json,
    json.replaceAll('/', '\\/'),
    ...base64,
    ...base64.map((core) => core.replaceAll('+', '-').replaceAll('/', '_')),
  ];
  // Longest first, so a form that contains another is cut whole.
  return [...new Set(forms)].filter(Boolean).sort((a, b) => b.length - a.length);
}

// The forms of an opened credential (vault.openCredential), derived once and kept only while the
// vault keeps that credential opened: a lock, or a changed or revoked record, lets them go too.
const formsOfOpened = new WeakMap();

export function openedCredentialForms(credential) {
  let forms = formsOfOpened.get(credential);
  if (!forms) {
    forms = credentialForms(credential.text);
    formsOfOpened.set(credential, forms);
  }
  return forms;
}

export function redactText(text, forms) {
  return forms.reduce((out, form) => (out.includes(form) ? out.split(form).join(REDACTED) : out), text);
}

// The forms' UTF-8 bytes as latin1 text, once per forms list.
const bytewiseForms = new WeakMap();

function formsAsLatin1(forms) {
  let encoded = bytewiseForms.get(forms);
  if (!encoded) {
    encoded = forms.map((form) => Buffer.from(form, 'utf8').toString('latin1'));
    bytewiseForms.set(forms, encoded);
  }
  return encoded;
}

// Byte-exact redaction: latin1 maps each byte to one character and back.
export function redactBytes(bytes, forms) {
  const text = bytes.toString('latin1');
  const out = redactText(text, formsAsLatin1(forms));
  return out === text ? bytes : Buffer.from(out, 'latin1');
}

// Every string of a parsed JSON value (keys too), walked without recursion. A JSON "\u0041"
// escape only turns into the credential's own text once parsed, so parsed answers get this too.
export function redactValue(value, forms) {
  const fix = (text) => redactText(text, forms);
  if (typeof value === 'string') return fix(value);
  if (value === null || typeof value !== 'object') return value;
  const root = Array.isArray(value) ? [...value] : { ...value };
  const stack = [root];
  while (stack.length) {
    const node = stack.pop();
    for (const key of Object.keys(node)) {
      let child = node[key];
      if (typeof child === 'string') child = fix(child);
      else if (child !== null && typeof child === 'object') {
        child = Array.isArray(child) ? [...child] : { ...child };
        stack.push(child);
      }
      const cleanKey = Array.isArray(node) ? key : fix(key);
      if (cleanKey !== key) delete node[key];
      node[cleanKey] = child;
    }
  }
  return root;
}
