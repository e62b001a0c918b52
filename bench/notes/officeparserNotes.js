// The officeparser peer's speaker notes: for every file named on the command line, a form feed,
// the file's name on a line, then the text of the notes its slides carry, one note a line.
const officeParser = require('officeparser');

(async () => {
    for (const file of process.argv.slice(2)) {
        let text = '';
        try {
            const ast = await officeParser.parseOffice(file);
            for (const slide of ast.content.filter(n => n.type === 'slide'))
                for (const note of slide.notes || [])
                    for (const paragraph of note.children || []) text += paragraph.text + '\n';
        } catch (e) {
            // A file it cannot read has no notes of its own to compare.
        }
        process.stdout.write('\f' + file + '\n' + text);
    }
})();
