// One error for everything that stops an agent app's config from being written. `status` is the
// HTTP status the connect route answers with; the message is shown to the user as is.
export const AgentConfigErrorCode = Object.freeze({
  unknownApp: 'unknown_app',
  manualOnly: 'manual_only',
  unsafePath: 'unsafe_path',
  invalidContent: 'invalid_content',
  unsupportedShape: 'unsupported_shape',
  changedDuringEdit: 'changed_during_edit',
  tooLarge: 'too_large',
  writeFailed: 'write_failed',
});

const STATUS = {
  unknown_app: 404,
  manual_only: 400,
  unsafe_path: 409,
  invalid_content: 409,
  unsupported_shape: 409,
  changed_during_edit: 409,
  too_large: 409,
  write_failed: 500,
};

export class AgentConfigError extends Error {
  constructor(code, message) {
    super(message);
    this.name = 'AgentConfigError';
    this.code = code;
    this.status = STATUS[code] ?? 500;
  }
}

// Every refusal names the file and promises that it was not touched.
export function refuse(code, filePath, reason) {
  return new AgentConfigError(code, `Refusing to edit ${filePath}: ${reason}. The file was left untouched.`);
}

// Raised by the format editors, which do not know the file's path; the writer turns it into an
// AgentConfigError naming the file.
export class ContentRefusal extends Error {
  constructor(code, reason) {
    super(reason);
    this.name = 'ContentRefusal';
    this.code = code;
  }
}
