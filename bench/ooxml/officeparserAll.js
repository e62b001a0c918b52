// The officeparser peer: every file named on the command line, one after the other, in this one
// Node process, each turned into plain text. Prints "<parsed> <failed> <characters>".
const officeParser = require('officeparser');

(async () => {
    let parsed = 0, failed = 0, characters = 0;
    for (const file of process.argv.slice(2)) {
        try {
            const ast = await officeParser.parseOffice(file);
            characters += ast.toText().length;
            ++parsed;
        } catch (e) {
            ++failed;
        }
    }
    console.log(`${parsed} ${failed} ${characters}`);
})();
