// A provider answer that echoes a credential in every form an answer can carry it, and a check
// that undoes each encoding to see whether the credential is still there.
export function echoedForms(token) {
  const base64 = (text) => Buffer.from(text).toString('base64');
  const percent = encodeURIComponent(token);
  return {
    literal: token,
    percent,
    percentLowerCase: percent.replace(/%[0-9A-F]{2}/g, (escape) => escape.toLowerCase()),
    slashEscaped: token.replaceAll('/', '\\/'),
    unicodeEscaped: [...token].map((c) => `\\u${c.charCodeAt(0).toString(16).padStart(4, '0')}`).join(''),
    base64: base64(token),
    base64Shifted1: base64(`x${token}`),
    base64Shifted2: base64(`xy${token}`),
    base64Url: Buffer.from(`Bearer ${token}`).toString('base64url'),
    authorizationHeader: base64(`Bearer ${token}`),
  };
}

// The raw JSON text of an object with those fields (escapes kept as written).
export const echoJson = (forms) => `{${Object.entries(forms).map(([name, value]) => `"${name}":"${value}"`).join(',')}}`;

function attempt(decode) {
  try {
    return decode();
  } catch {
    return '';
  }
}

export function revealsToken(value, token) {
  const readings = [
    value,
    attempt(() => decodeURIComponent(value)),
    attempt(() => JSON.parse(`"${value}"`)),
    Buffer.from(value, 'base64').toString('latin1'),
    Buffer.from(value, 'base64url').toString('latin1'),
  ];
  return readings.some((text) => text.includes(token));
}
