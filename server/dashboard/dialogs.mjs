// Modal questions on the page's own <dialog> elements; both resolve once the dialog closes.

import { byId } from './dom.mjs';

function closed(dialog) {
  return new Promise((resolve) => dialog.addEventListener('close', () => resolve(dialog.returnValue), { once: true }));
}

export async function confirmAction({ title, text, accept, danger = false }) {
  const dialog = byId('confirm-dialog');
  byId('confirm-title').textContent = title;
  byId('confirm-text').textContent = text;
  const acceptButton = byId('confirm-accept');
  acceptButton.textContent = accept;
  acceptButton.classList.toggle('button-danger', danger);
  dialog.returnValue = 'cancel';
  dialog.showModal();
  return (await closed(dialog)) === 'accept';
}

// A reason of only spaces is no reason; the form refuses it like an empty one.
function requireVisibleText(field) {
  const check = () => field.setCustomValidity(field.value.trim() ? '' : 'Enter a reason');
  check();
  field.oninput = check;
}

// Resolves to the trimmed reason, or null when the user backs out.
export async function askDenyReason(summary) {
  const dialog = byId('deny-dialog');
  const reason = byId('deny-reason');
  byId('deny-summary').textContent = summary;
  reason.value = '';
  requireVisibleText(reason);
  dialog.returnValue = 'cancel';
  dialog.showModal();
  const answer = await closed(dialog);
  const text = reason.value.trim();
  reason.value = '';
  return answer === 'deny' && text ? text : null;
}
