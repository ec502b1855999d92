#!/usr/bin/env node
// Writes the typefaces the windows draw with into resources/fonts/, each with
// its licence:
//   Inter.ttf                 the upright variable face (weight axis 100…900),
//                             copied from Debian's fonts-inter-variable
//   IBMPlexMono-Regular.ttf   IBM Plex Mono in two weights, unpacked from the
//   IBMPlexMono-Medium.ttf    WOFF files of the npm package @ibm/plex-mono
//                             (pinned below; it ships no TTF files)
//
// WOFF 1.0 is a wrapper around an ordinary TrueType file: every table is
// stored whole, zlib-compressed when that saves space, with its original
// checksum. Unpacking inflates each table and writes the TrueType table
// directory again, so the result is the font the foundry built.
//
// Usage: node tools/fonts/generate.mjs
//   The npm package is fetched with `npm pack` into a temporary folder
//   (nothing is installed into the repository).

import {execFileSync} from 'node:child_process'
import {copyFileSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync} from 'node:fs'
import {tmpdir} from 'node:os'
import {dirname, join} from 'node:path'
import {fileURLToPath} from 'node:url'
import {inflateSync} from 'node:zlib'

const PLEX_PACKAGE = '@ibm/plex-mono@2.5.0'
const INTER_FILE = '/usr/share/fonts/truetype/inter-vf/Inter-roman.var.ttf'
const INTER_COPYRIGHT = '/usr/share/doc/fonts-inter-variable/copyright'

const fontsDir = join(dirname(fileURLToPath(import.meta.url)), '..', '..', 'resources', 'fonts')

// Turns a WOFF 1.0 file into the TrueType/OpenType file it wraps.
function unpackWoff(woff) {
  if (woff.toString('latin1', 0, 4) !== 'wOFF') throw new Error('not a WOFF 1.0 file')
  const flavor = woff.readUInt32BE(4)
  const numTables = woff.readUInt16BE(12)
  const tables = []
  for (let i = 0; i < numTables; i++) {
    const at = 44 + i * 20
    const tag = woff.toString('latin1', at, at + 4)
    const offset = woff.readUInt32BE(at + 4)
    const compLength = woff.readUInt32BE(at + 8)
    const origLength = woff.readUInt32BE(at + 12)
    const checksum = woff.readUInt32BE(at + 16)
    const stored = woff.subarray(offset, offset + compLength)
    const data = compLength < origLength ? inflateSync(stored) : Buffer.from(stored)
    if (data.length !== origLength) throw new Error(`table ${tag}: ${data.length} bytes, expected ${origLength}`)
    tables.push({tag, checksum, data})
  }
  tables.sort((a, b) => (a.tag < b.tag ? -1 : a.tag > b.tag ? 1 : 0))

  const pad = (n) => (n + 3) & ~3
  let entrySelector = 0
  while (2 ** (entrySelector + 1) <= numTables) entrySelector++
  const searchRange = 2 ** entrySelector * 16
  const headerLength = 12 + numTables * 16
  const total = tables.reduce((sum, t) => sum + pad(t.data.length), headerLength)
  const out = Buffer.alloc(total)
  out.writeUInt32BE(flavor, 0)
  out.writeUInt16BE(numTables, 4)
  out.writeUInt16BE(searchRange, 6)
  out.writeUInt16BE(entrySelector, 8)
  out.writeUInt16BE(numTables * 16 - searchRange, 10)
  let offset = headerLength
  tables.forEach((t, i) => {
    const at = 12 + i * 16
    out.write(t.tag, at, 'latin1')
    out.writeUInt32BE(t.checksum, at + 4)
    out.writeUInt32BE(offset, at + 8)
    out.writeUInt32BE(t.data.length, at + 12)
    t.data.copy(out, offset)
    offset += pad(t.data.length)
  })
  return out
}

function fetchPlex() {
  const folder = mkdtempSync(join(tmpdir(), 'plex-mono-'))
  try {
    execFileSync('npm', ['pack', PLEX_PACKAGE, '--silent'], {cwd: folder, stdio: ['ignore', 'ignore', 'inherit']})
    const archive = readdirSync(folder).find((name) => name.endsWith('.tgz'))
    if (!archive) throw new Error('npm pack produced no archive')
    execFileSync('tar', ['xzf', archive], {cwd: folder})
    const woff = (weight) => readFileSync(join(folder, 'package', 'fonts', 'complete', 'woff', `IBMPlexMono-${weight}.woff`))
    return {
      regular: unpackWoff(woff('Regular')),
      medium: unpackWoff(woff('Medium')),
      licence: readFileSync(join(folder, 'package', 'LICENSE.txt')),
    }
  } finally {
    rmSync(folder, {recursive: true, force: true})
  }
}

mkdirSync(fontsDir, {recursive: true})
copyFileSync(INTER_FILE, join(fontsDir, 'Inter.ttf'))
copyFileSync(INTER_COPYRIGHT, join(fontsDir, 'Inter-LICENSE.txt'))
const plex = fetchPlex()
writeFileSync(join(fontsDir, 'IBMPlexMono-Regular.ttf'), plex.regular)
writeFileSync(join(fontsDir, 'IBMPlexMono-Medium.ttf'), plex.medium)
writeFileSync(join(fontsDir, 'IBMPlexMono-LICENSE.txt'), plex.licence)
console.log(`wrote the fonts and their licences to ${fontsDir}`)
