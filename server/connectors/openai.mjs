export default {
  id: 'openai',
  displayName: 'OpenAI',
  description: 'OpenAI models through the OpenAI API.',
  baseUrl: 'https://api.openai.com',
  auth: { type: 'api_key', placement: 'bearer' },
  check: { method: 'GET', path: '/v1/models' },
  authOptions: [
    { id: 'api-key', label: 'API key', type: 'api_key', instructions: 'Create a project API key in the OpenAI platform dashboard.', riskNotes: ['Calls spend from your OpenAI balance.'] },
  ],
  setupGuide: {
    kind: 'api_key',
    title: 'Connect OpenAI',
    primaryAction: 'Add API key',
    accountIdPlaceholder: 'default',
    credentialLabel: 'API key',
    steps: ['Open platform.openai.com > API keys.', 'Create a key for a project with a spending limit.', 'Paste the key; Torvane checks it before saving.'],
  },
  scopes: [
    { id: 'models:read', risk: 'low', description: 'List available models' },
    { id: 'responses:create', risk: 'low', description: 'Generate responses (spends credit)' },
  ],
  tools: [
    { id: 'openai.models.list', title: 'List models', risk: 'low', mode: 'read', request: { method: 'GET', path: '/v1/models' }, input: {} },
    {
      id: 'openai.responses.create',
      title: 'Create a response',
      risk: 'low',
      mode: 'write',
      request: { method: 'POST', path: '/v1/responses', body: ['model', 'input', 'instructions', 'max_output_tokens'] },
      input: {
        model: { type: 'string', required: true, description: 'Model id, for example gpt-4.1-mini' },
        input: { type: 'string', required: true, description: 'Prompt text' },
        instructions: { type: 'string', description: 'System instructions' },
        max_output_tokens: { type: 'integer', description: 'Upper bound of generated tokens' },
      },
    },
  ],
};
