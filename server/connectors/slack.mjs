// Slack answers HTTP 200 with {"ok": false} for bad tokens and failed calls, so "okField" decides.
export default {
  id: 'slack',
  displayName: 'Slack',
  description: 'Channels and messages in a Slack workspace.',
  baseUrl: 'https://slack.com',
  auth: { type: 'api_key', placement: 'bearer' },
  okField: 'ok',
  check: { method: 'POST', path: '/api/auth.test' },
  authOptions: [
    {
      id: 'api-key',
      label: 'Bot token',
      type: 'api_key',
      instructions: 'Create a Slack app, add bot scopes, install it to the workspace and copy the xoxb- token.',
      capabilityLimits: ['The bot sees only channels it was invited to.'],
    },
  ],
  setupGuide: {
    kind: 'api_key',
    title: 'Connect Slack',
    primaryAction: 'Add bot token',
    accountIdPlaceholder: 'workspace-name',
    credentialLabel: 'Bot token (xoxb-…)',
    steps: ['Create an app at api.slack.com/apps.', 'Add the bot scopes channels:read and chat:write.', 'Install the app and paste the bot token.'],
  },
  scopes: [
    { id: 'channels:read', risk: 'low', description: 'List channels' },
    { id: 'chat:write', risk: 'medium', description: 'Post messages as the bot' },
  ],
  tools: [
    { id: 'slack.auth.test', title: 'Check the bot identity', risk: 'low', mode: 'read', request: { method: 'POST', path: '/api/auth.test' }, input: {} },
    {
      id: 'slack.conversations.list',
      title: 'List channels',
      risk: 'low',
      mode: 'read',
      request: { method: 'GET', path: '/api/conversations.list', query: ['limit', 'cursor'] },
      input: { limit: { type: 'integer', description: 'Maximum channels to return' }, cursor: { type: 'string', description: 'Pagination cursor' } },
    },
    {
      id: 'slack.message.post',
      title: 'Post a message',
      risk: 'medium',
      mode: 'write',
      request: { method: 'POST', path: '/api/chat.postMessage', body: ['channel', 'text'] },
      input: {
        channel: { type: 'string', required: true, description: 'Channel id' },
        text: { type: 'string', required: true, description: 'Message text' },
      },
    },
  ],
};
