#pragma once

// Stores `value` in a published field and announces it through `changed` only when it differs,
// so setting the same value again notifies no view.
template <typename Owner, typename T>
void assignPublished(Owner *owner, T &field, const T &value, void (Owner::*changed)())
{
    if (field == value)
        return;
    field = value;
    emit(owner->*changed)();
}
