// The same package from a CommonJS host in TypeScript: require() gets the same typed calls.
import marrowfen = require('marrowfen-native');

async function main(): Promise<void> {
  const answer: marrowfen.HelperOutput = await marrowfen.extractEntities('Call +49 30 1234567 today.');
  const phones: marrowfen.Candidate[] = answer.entities.filter((c) => c.label === 'phone');
  const level: marrowfen.PressureLevel = marrowfen.pressuregauge().currentLevel();
  console.log(JSON.stringify({ version: marrowfen.version, phones: phones.length, level }));
}

main().catch((error: unknown) => {
  console.error(error);
  process.exitCode = 1;
});
