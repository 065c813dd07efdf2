// Validates CycloneDX JSON documents against CycloneDX's own published
// schema, strictly, through CycloneDX's JavaScript library; prints a verdict
// per file and exits 1 when any is refused.
//   node validate.mjs FILE...
import { readFileSync } from 'node:fs';
import { Spec, Validation } from '@cyclonedx/cyclonedx-library';

let refused = 0;
for (const file of process.argv.slice(2)) {
  const text = readFileSync(file, 'utf8');
  const version = JSON.parse(text).specVersion;
  const validator = new Validation.JsonStrictValidator(version);
  const errors = await validator.validate(text);
  if (errors === null) {
    console.log(`${file}: valid CycloneDX ${version}`);
  } else {
    refused += 1;
    console.log(`${file}: refused: ${JSON.stringify(errors, null, 2)}`);
  }
}
process.exit(refused === 0 ? 0 : 1);
