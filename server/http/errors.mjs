// One error type and one JSON error shape ({"error": text}) for every route.
export class HttpError extends Error {
  constructor(status, message, extra = undefined) {
    super(message);
    this.status = status;
    this.extra = extra;
  }
}

export const badRequest = (message) => new HttpError(400, message);
export const notFound = (message = 'not found') => new HttpError(404, message);
export const conflict = (message) => new HttpError(409, message);
export const forbidden = (message) => new HttpError(403, message);
export const unauthorized = (message) => new HttpError(401, message);

export function errorBody(error) {
  return { error: error.message, ...(error.extra ?? {}) };
}
