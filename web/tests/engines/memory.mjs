// The resident memory of a process's descendants (not the process itself:
// the root is the test runner or the driver), from /proc, in KiB.
import { readFileSync, readdirSync } from 'node:fs';

export function treeRssKiB(root) {
  const children = new Map();
  for (const name of readdirSync('/proc')) {
    if (!/^\d+$/.test(name)) continue;
    try {
      const stat = readFileSync(`/proc/${name}/stat`, 'utf8');
      const parent = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
      if (!children.has(parent)) children.set(parent, []);
      children.get(parent).push(Number(name));
    } catch { /* gone */ }
  }
  let total = 0;
  const pending = [...(children.get(root) || [])];
  while (pending.length) {
    const pid = pending.pop();
    try {
      const m = readFileSync(`/proc/${pid}/status`, 'utf8').match(/VmRSS:\s+(\d+)/);
      if (m) total += Number(m[1]);
    } catch { /* gone */ }
    pending.push(...(children.get(pid) || []));
  }
  return total;
}
