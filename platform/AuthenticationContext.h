#pragma once

// What a caller proved about the user moments before a hardware key operation: the app's own
// password dialog (PAM) approved them. A key that needs user presence agrees a secret only under
// an approved context; the hardware cannot check this by itself, so the key object does.
class AuthenticationContext
{
public:
    void approveUserPresence() { m_userPresenceApproved = true; }
    void invalidate() { m_userPresenceApproved = false; }
    bool isUserPresenceApproved() const { return m_userPresenceApproved; }

private:
    bool m_userPresenceApproved = false;
};
