// The Bot API carries the token in the path: https://api.telegram.org/bot<token>/<method>.
export default {
  id: 'telegram',
  displayName: 'Telegram',
  description: 'A Telegram bot: read updates and send messages.',
  baseUrl: 'https://api.telegram.org',
  auth: { type: 'api_key', placement: 'path', pathPrefix: '/bot{token}' },
  okField: 'ok',
  check: { method: 'GET', path: '/getMe' },
  authOptions: [{ id: 'api-key', label: 'Bot token', type: 'api_key', instructions: 'Create a bot with @BotFather and copy its token.' }],
  setupGuide: {
    kind: 'api_key',
    title: 'Connect Telegram',
    primaryAction: 'Add bot token',
    accountIdPlaceholder: 'my_bot',
    credentialLabel: 'Bot token',
    steps: ['Message @BotFather and send /newbot.', 'Copy the token it gives you.', 'Paste the token; Torvane checks it with getMe before saving.'],
  },
  scopes: [
    { id: 'updates:read', risk: 'low', description: 'Read messages sent to the bot' },
    { id: 'messages:send', risk: 'medium', description: 'Send messages as the bot' },
  ],
  tools: [
    { id: 'telegram.bot.get', title: 'Describe the bot', risk: 'low', mode: 'read', request: { method: 'GET', path: '/getMe' }, input: {} },
    {
      id: 'telegram.updates.get',
      title: 'Read recent updates',
      risk: 'low',
      mode: 'read',
      request: { method: 'GET', path: '/getUpdates', query: ['offset', 'limit'] },
      input: { offset: { type: 'integer', description: 'First update id to return' }, limit: { type: 'integer', description: 'Maximum updates (1-100)' } },
    },
    {
      id: 'telegram.message.send',
      title: 'Send a message',
      risk: 'medium',
      mode: 'write',
      request: { method: 'POST', path: '/sendMessage', body: ['chat_id', 'text'] },
      input: {
        chat_id: { type: 'string', required: true, description: 'Chat id or @channel name' },
        text: { type: 'string', required: true, description: 'Message text' },
      },
    },
  ],
};
