export default {
  id: 'openrouter',
  displayName: 'OpenRouter',
  description: 'Many model providers behind one OpenRouter key.',
  baseUrl: 'https://openrouter.ai',
  auth: { type: 'api_key', placement: 'bearer' },
  check: { method: 'GET', path: '/api/v1/key' },
  authOptions: [{ id: 'api-key', label: 'API key', type: 'api_key', instructions: 'Create a key with a credit limit on openrouter.ai.' }],
  setupGuide: {
    kind: 'api_key',
    title: 'Connect OpenRouter',
    primaryAction: 'Add API key',
    accountIdPlaceholder: 'default',
    credentialLabel: 'API key',
    steps: ['Open openrouter.ai > Keys.', 'Create a key with a credit limit.', 'Paste the key; Torvane checks it before saving.'],
  },
  scopes: [
    { id: 'models:read', risk: 'low', description: 'Read key limits and models' },
    { id: 'chat:create', risk: 'low', description: 'Create chat completions (spends credit)' },
  ],
  tools: [
    { id: 'openrouter.key.get', title: 'Show key usage and limits', risk: 'low', mode: 'read', request: { method: 'GET', path: '/api/v1/key' }, input: {} },
    { id: 'openrouter.models.list', title: 'List models', risk: 'low', mode: 'read', request: { method: 'GET', path: '/api/v1/models' }, input: {} },
    {
      id: 'openrouter.chat.create',
      title: 'Create a chat completion',
      risk: 'low',
      mode: 'write',
      request: { method: 'POST', path: '/api/v1/chat/completions', body: ['model', 'messages', 'max_tokens'] },
      input: {
        model: { type: 'string', required: true, description: 'Model id, for example openai/gpt-4o-mini' },
        messages: { type: 'array', required: true, description: 'Conversation turns' },
        max_tokens: { type: 'integer', description: 'Upper bound of generated tokens' },
      },
    },
  ],
};
