export default {
  id: 'claude',
  displayName: 'Anthropic',
  description: 'Claude models through the Anthropic API.',
  baseUrl: 'https://api.anthropic.com',
  auth: { type: 'api_key', placement: 'header', header: 'x-api-key' },
  headers: { 'anthropic-version': '2023-06-01' },
  check: { method: 'GET', path: '/v1/models' },
  authOptions: [
    { id: 'api-key', label: 'API key', type: 'api_key', instructions: 'Create an API key in the Anthropic console.', riskNotes: ['Calls spend from your Anthropic balance.'] },
  ],
  setupGuide: {
    kind: 'api_key',
    title: 'Connect Anthropic',
    primaryAction: 'Add API key',
    accountIdPlaceholder: 'default',
    credentialLabel: 'API key',
    steps: ['Open console.anthropic.com > API keys.', 'Create a key in a workspace with a spend limit.', 'Paste the key; Torvane checks it before saving.'],
  },
  scopes: [
    { id: 'models:read', risk: 'low', description: 'List available models' },
    { id: 'messages:create', risk: 'low', description: 'Create messages (spends credit)' },
  ],
  tools: [
    { id: 'claude.models.list', title: 'List models', risk: 'low', mode: 'read', request: { method: 'GET', path: '/v1/models' }, input: {} },
    {
      id: 'claude.messages.create',
      title: 'Create a message',
      risk: 'low',
      mode: 'write',
      request: { method: 'POST', path: '/v1/messages', body: ['model', 'max_tokens', 'system', 'messages'] },
      input: {
        model: { type: 'string', required: true, description: 'Model id' },
        max_tokens: { type: 'integer', required: true, description: 'Upper bound of generated tokens' },
        system: { type: 'string', description: 'System prompt' },
        messages: { type: 'array', required: true, description: 'Conversation turns: [{"role": "user", "content": "…"}]' },
      },
    },
  ],
};
