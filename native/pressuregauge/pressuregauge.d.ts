// pressuregauge.node: the system's memory-pressure level. Loading the addon takes a first reading
// and starts one background thread (stopped when the loading environment is torn down) that keeps
// a cached level current from the kernel's pressure-stall information, or /proc/meminfo where
// there is none.

export type PressureLevel = 'normal' | 'warning' | 'critical' | 'unknown';

/**
 * The cached level; never blocks and never calls the system. "unknown" only until a first
 * reading succeeded. Arguments are ignored; nothing is thrown.
 */
export function currentLevel(...ignored: unknown[]): PressureLevel;
