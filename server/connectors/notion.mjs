export default {
  id: 'notion',
  displayName: 'Notion',
  description: 'Pages and databases shared with a Notion integration.',
  baseUrl: 'https://api.notion.com',
  auth: { type: 'api_key', placement: 'bearer' },
  headers: { 'notion-version': '2022-06-28' },
  check: { method: 'GET', path: '/v1/users/me' },
  authOptions: [
    {
      id: 'api-key',
      label: 'Internal integration secret',
      type: 'api_key',
      instructions: 'Create an internal integration and share the pages it may use with it.',
      capabilityLimits: ['Only pages shared with the integration are visible.'],
    },
  ],
  setupGuide: {
    kind: 'api_key',
    title: 'Connect Notion',
    primaryAction: 'Add integration secret',
    accountIdPlaceholder: 'workspace-name',
    credentialLabel: 'Integration secret',
    steps: ['Open notion.so/my-integrations and create an internal integration.', 'Share the pages agents may use with the integration.', 'Paste the secret; Torvane checks it before saving.'],
  },
  scopes: [
    { id: 'content:read', risk: 'low', description: 'Search and read shared pages' },
    { id: 'content:write', risk: 'medium', description: 'Create pages' },
  ],
  tools: [
    { id: 'notion.user.me', title: 'Describe the integration', risk: 'low', mode: 'read', request: { method: 'GET', path: '/v1/users/me' }, input: {} },
    {
      id: 'notion.search',
      title: 'Search shared pages',
      risk: 'low',
      mode: 'read',
      request: { method: 'POST', path: '/v1/search', body: ['query', 'page_size'] },
      input: { query: { type: 'string', description: 'Search text' }, page_size: { type: 'integer', description: 'Results per page (max 100)' } },
    },
    {
      id: 'notion.page.create',
      title: 'Create a page',
      risk: 'medium',
      mode: 'write',
      request: { method: 'POST', path: '/v1/pages', body: ['parent', 'properties', 'children'] },
      input: {
        parent: { type: 'object', required: true, description: 'Parent: {"page_id": "…"} or {"database_id": "…"}' },
        properties: { type: 'object', required: true, description: 'Page properties' },
        children: { type: 'array', description: 'Content blocks' },
      },
    },
  ],
};
