// Risk levels of tools, lowest first. maxRisk on an agent key bounds what it may call.
export const RISK_LEVELS = ['low', 'medium', 'high', 'critical'];
export const DEFAULT_MAX_RISK = 'medium';

export const isRisk = (value) => RISK_LEVELS.includes(value);
export const riskAtMost = (risk, max) => RISK_LEVELS.indexOf(risk) <= RISK_LEVELS.indexOf(max);
