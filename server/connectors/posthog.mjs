export default {
  id: 'posthog',
  displayName: 'PostHog',
  description: 'Product analytics projects on PostHog (US cloud).',
  baseUrl: 'https://us.posthog.com',
  auth: { type: 'api_key', placement: 'bearer' },
  check: { method: 'GET', path: '/api/users/@me/' },
  authOptions: [{ id: 'api-key', label: 'Personal API key', type: 'api_key', instructions: 'Create a personal API key with read scopes (and annotation:write if agents should annotate).' }],
  setupGuide: {
    kind: 'api_key',
    title: 'Connect PostHog',
    primaryAction: 'Add personal API key',
    accountIdPlaceholder: 'organization-name',
    credentialLabel: 'Personal API key',
    steps: ['Open PostHog > Settings > Personal API keys.', 'Create a key limited to the projects agents need.', 'Paste the key; Torvane checks it before saving.'],
  },
  scopes: [
    { id: 'project:read', risk: 'low', description: 'Read projects' },
    { id: 'annotation:write', risk: 'medium', description: 'Create annotations' },
  ],
  tools: [
    { id: 'posthog.user.me', title: 'Describe the user', risk: 'low', mode: 'read', request: { method: 'GET', path: '/api/users/@me/' }, input: {} },
    { id: 'posthog.projects.list', title: 'List projects', risk: 'low', mode: 'read', request: { method: 'GET', path: '/api/projects/' }, input: {} },
    {
      id: 'posthog.annotation.create',
      title: 'Create an annotation',
      risk: 'medium',
      mode: 'write',
      request: { method: 'POST', path: '/api/projects/{project_id}/annotations/', body: ['content', 'date_marker'] },
      input: {
        project_id: { type: 'string', required: true, description: 'Project id' },
        content: { type: 'string', required: true, description: 'Annotation text' },
        date_marker: { type: 'string', description: 'ISO 8601 time of the annotation' },
      },
    },
  ],
};
