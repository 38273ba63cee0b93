export default {
  id: 'gemini',
  displayName: 'Google Gemini',
  description: 'Gemini models through the Generative Language API.',
  baseUrl: 'https://generativelanguage.googleapis.com',
  auth: { type: 'api_key', placement: 'header', header: 'x-goog-api-key' },
  check: { method: 'GET', path: '/v1beta/models' },
  authOptions: [{ id: 'api-key', label: 'API key', type: 'api_key', instructions: 'Create an API key in Google AI Studio.' }],
  setupGuide: {
    kind: 'api_key',
    title: 'Connect Gemini',
    primaryAction: 'Add API key',
    accountIdPlaceholder: 'default',
    credentialLabel: 'API key',
    steps: ['Open aistudio.google.com > Get API key.', 'Create a key for a project.', 'Paste the key; Torvane checks it before saving.'],
  },
  scopes: [
    { id: 'models:read', risk: 'low', description: 'List available models' },
    { id: 'content:generate', risk: 'low', description: 'Generate content (may spend credit)' },
  ],
  tools: [
    { id: 'gemini.models.list', title: 'List models', risk: 'low', mode: 'read', request: { method: 'GET', path: '/v1beta/models' }, input: {} },
    {
      id: 'gemini.content.generate',
      title: 'Generate content',
      risk: 'low',
      mode: 'write',
      request: { method: 'POST', path: '/v1beta/models/{model}:generateContent', body: ['contents', 'generationConfig'] },
      input: {
        model: { type: 'string', required: true, description: 'Model id, for example gemini-2.0-flash' },
        contents: { type: 'array', required: true, description: 'Content parts: [{"parts": [{"text": "…"}]}]' },
        generationConfig: { type: 'object', description: 'Generation settings' },
      },
    },
  ],
};
