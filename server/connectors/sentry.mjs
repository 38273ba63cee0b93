export default {
  id: 'sentry',
  displayName: 'Sentry',
  description: 'Errors and issues of your Sentry projects.',
  baseUrl: 'https://sentry.io',
  auth: { type: 'api_key', placement: 'bearer' },
  check: { method: 'GET', path: '/api/0/organizations/' },
  authOptions: [{ id: 'api-key', label: 'Auth token', type: 'api_key', instructions: 'Create a user auth token with org:read, project:read and event:read.' }],
  setupGuide: {
    kind: 'api_key',
    title: 'Connect Sentry',
    primaryAction: 'Add auth token',
    accountIdPlaceholder: 'organization-slug',
    credentialLabel: 'Auth token',
    steps: ['Open Sentry > User settings > Auth tokens.', 'Create a token with org:read, project:read and event:read (event:write to resolve issues).', 'Paste the token; Torvane checks it before saving.'],
  },
  scopes: [
    { id: 'event:read', risk: 'low', description: 'Read organizations, projects and issues' },
    { id: 'event:write', risk: 'medium', description: 'Resolve or ignore issues' },
  ],
  tools: [
    { id: 'sentry.organizations.list', title: 'List organizations', risk: 'low', mode: 'read', request: { method: 'GET', path: '/api/0/organizations/' }, input: {} },
    {
      id: 'sentry.issues.list',
      title: 'List issues of a project',
      risk: 'low',
      mode: 'read',
      request: { method: 'GET', path: '/api/0/projects/{organization_slug}/{project_slug}/issues/', query: ['query'] },
      input: {
        organization_slug: { type: 'string', required: true, description: 'Organization slug' },
        project_slug: { type: 'string', required: true, description: 'Project slug' },
        query: { type: 'string', description: 'Search query, for example is:unresolved' },
      },
    },
    {
      id: 'sentry.issue.update',
      title: 'Change the status of an issue',
      risk: 'medium',
      mode: 'write',
      request: { method: 'PUT', path: '/api/0/organizations/{organization_slug}/issues/{issue_id}/', body: ['status'] },
      input: {
        organization_slug: { type: 'string', required: true, description: 'Organization slug' },
        issue_id: { type: 'string', required: true, description: 'Issue id' },
        status: { type: 'string', required: true, description: 'resolved, unresolved or ignored' },
      },
    },
  ],
};
